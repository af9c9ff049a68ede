// A structural checker of MDX index files for tests, written apart from the engine's own readers: it
// reads the file's bytes, checks the header, the tag table and every tag's tree, and hands back each
// tag's leaf entries in order.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace xbtest {

struct MdxCheckOptions {
    // The layout of a tree just written by a bulk build: every leaf but the last and every branch node
    // but the last of its level is full, separators are exactly the highest key below them, a branch has
    // keys and unused bytes are zero. A tag kept up key by key never looks like that and is no less
    // sound for it (a split leaves two half-full nodes, a separator may stay above a deleted highest
    // key, a node's tail keeps old bytes): check maintained indexes with false, which still checks the
    // order, the separators as bounds, the record numbers and every structural limit.
    bool freshBuild = true;
    // When non-zero, every record number must lie in 1..maxRecord.
    uint32_t maxRecord = 0;
    // Equal keys stand in ascending record order: a build files them so, and so does the upkeep of a
    // tag (a key goes after the equal keys of lower records).
    bool equalKeysInRecordOrder = true;
};

struct MdxEntry {
    std::string key;  // the key bytes
    uint32_t record = 0;
    bool operator==(const MdxEntry&) const = default;
};

struct MdxTagReport {
    std::string name;
    char type = 0;
    int keyLength = 0;
    bool descending = false;
    bool unique = false;
    std::string keyExpr;
    std::string forExpr;
    bool forSatisfied = false;
    uint32_t root = 0;
    int depth = 0;  // levels on the longest path from the root to a leaf
    std::vector<MdxEntry> entries;
};

struct MdxReport {
    std::vector<std::string> errors;
    std::vector<MdxTagReport> tags;
    bool ok() const { return errors.empty(); }
    std::string text() const;  // the errors, one per line
};

MdxReport CheckMdxFile(const std::string& path, const MdxCheckOptions& options = {});

// Each tag's (key, record) entries, sorted, by tag name: a maintained tag may file equal keys in another
// order than a rebuild, so two indexes are compared this way.
std::map<std::string, std::vector<std::pair<std::string, uint32_t>>> SortedTagEntries(const std::string& path);

// Negative, 0 or positive as key a sorts before, with or after b in a tag of that type and direction.
int CompareTagKeys(char type, bool descending, const std::string& a, const std::string& b);
// The number a 12-byte numeric key stands for, as decimal text ("-123.45", "0"); for messages and tests.
std::string NumericKeyText(const std::string& key);

}  // namespace xbtest
