// TXbFileDataSet and TXbDbf: a dataset over a DBF file described by two text lists, DbfFields (the
// fields, "annee, N, 4, 0") and IndexList (the MDX tags in pairs of lines: "ANNEECHAMP,F,F,str(annee,4)"
// then the FOR condition). Opening creates a missing table from DbfFields, opens it and then opens,
// verifies or (re)builds the MDX from IndexList. Writes through the framework take the engine's locks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/dataset/xb_dataset.h"

namespace xb {

enum class TCreateIndexType { ciNotFound, ciAlways, ciVerifyHeader, ciNever };

// One tag for the index build.
struct TIndexTagDescriptor {
    std::string tagName;  // at most 10 characters
    std::string keyExpr;  // at most 220
    std::string forExpr;  // at most 220; empty for none
    bool descending = false;
    bool unique = false;
};

// The index engine's routines the opening uses, acting on the current work area. Filled with the index
// engine's own routines where they are built; tests may put their own in. Each engine has its own.
struct DatasetIndexServices {
    std::function<bool(const std::string& mdxName)> setIndexTo;
    std::function<bool(const std::vector<TIndexTagDescriptor>& tags, const std::string& mdxName)> makeIndex;
    // The tags of an MDX file in IndexList's two-line form.
    std::function<bool(const std::string& mdxName, std::vector<std::string>& lines)> getIndexTagList;
    // Closes the current area's index, if any (the index engine's may have left one open while it
    // listed its tags).
    std::function<void()> closeIndex;
    // The current table's semaphore file name; empty when there is none.
    std::function<std::string()> semaphoreFileName;
    // Sets (or with an empty callback clears) the build's progress hook and its step count.
    std::function<void(std::function<void()> step, int steps)> setProgressHook;
};
DatasetIndexServices& IndexServices();

class TXbFileDataSet;
using TLockFailedEvent = std::function<void(TXbFileDataSet& sender, bool& retry)>;
using TBeforeMakeIndexEvent = std::function<void(TXbFileDataSet& sender, const std::string& indexFileName, bool& canMake)>;
using TAfterMakeIndexEvent = std::function<void(TXbFileDataSet& sender, const std::string& indexFileName)>;

class TXbFileDataSet : public TXbCDataSet {
public:
    // A lock refused while a handler keeps asking for retries is tried at most this often.
    static constexpr int kMaxLockRetries = 20;

    explicit TXbFileDataSet(bool designing = false) : TXbCDataSet(designing) {}
    ~TXbFileDataSet() override;

    bool ReadOnly = false;
    bool AutoFixRecCount = false;
    TCreateIndexType CreateIndex = TCreateIndexType::ciNotFound;
    bool CreateIfNotFound = true;
    bool Exclusive() const { return m_exclusive; }
    void SetExclusive(bool on);
    std::vector<std::string> IndexList;
    TBeforeMakeIndexEvent OnBeforeMakeIndex;
    TAfterMakeIndexEvent OnAfterMakeIndex;
    TLockFailedEvent OnALockFailedOnInsert, OnRLockFailedOnDelete, OnRLockFailedOnPost, OnRLockFailedOnRestore;

    // The next opens take the table alone, for reading its rows in record order: no index, no memo file
    // (a memo field reads as having none), so no semaphore either; set ReadOnly with it, the handle
    // cannot write then.
    void SetOpenAlone(bool on) { m_openAlone = on; }

    bool OpenTable(const std::string& fileName) override;
    bool MakeIndexes();
    bool IndexSemaphoreBusy();
    int IndexTagCount() const { return static_cast<int>((IndexList.size() + 1) / 2); }
    std::vector<TIndexTagDescriptor> ParseIndexList() const;
    // The MDX file of the table: DbfFileName with the extension "mdx" (as found on disk when it exists).
    std::string MdxFileName() const;

    bool AppendWithLock() override;
    bool DeleteWithLock() override;
    bool RestoreWithLock() override;
    bool ReplaceWithLock() override;

    std::unique_ptr<TStream> CreateBlobStream(TField& field, TBlobStreamMode mode) override;

protected:
    bool GetCanModify() override { return !ReadOnly; }
    // A row is always added at the table's end, whatever record the area stands on, and the post
    // stands on the new row: the walk to the last key (an index read on a shared table) is not made.
    void InternalLastBeforeAppend() override;
    bool IsSequenced() override;

private:
    // Runs a locked write: lock, then the write; a refused lock asks the event, else shows "Lock failed".
    bool lockedWrite(const char* opName, const char* what, const TLockFailedEvent& event, bool appendLock,
                     const std::function<void()>& write);
    // Makes the table, its memo file and its index in a directory of their own beside it and renames them
    // into place once all are whole (the table last); a failure leaves no file behind.
    bool CreateTableWhole(const std::string& fileName);
    // Offers the index build (OnBeforeMakeIndex) and builds path; false when the handler refused it.
    bool buildIndex(const std::string& shownName, const std::string& path);
    bool m_exclusive = false;
    bool m_indexRefused = false;  // the handler refused the index while the table was created
    bool m_openAlone = false;     // see SetOpenAlone
};

class TXbDbf : public TXbFileDataSet {
public:
    explicit TXbDbf(bool designing = false) : TXbFileDataSet(designing) {}
};

}  // namespace xb
