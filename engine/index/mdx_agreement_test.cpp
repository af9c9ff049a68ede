#include "engine/index/mdx_agreement.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "engine/index/mdx_format.h"
#include "tests/support/fixtures.h"

namespace xb {
namespace {

// An index of one tag (a 4-byte key, 126 entries a node) over hand-made nodes: its header page at block
// 4, nodes where the case puts them, the file as long as the case makes it (a hole where it is longer).
class IndexFile {
public:
    static constexpr uint16_t kItem = 8;
    static constexpr int kMaxKeys = 126;

    IndexFile() {
        MdxHeader h = MdxHeader::makeNew("t");
        h.addTagEntry("T", 4, 'C');
        std::memcpy(m_bytes.data(), h.bytes.data(), kMdxHeaderSize);
        m_bytes.resize(3 * 1024);
    }
    // A node at block: its children or rows (each with a 4-byte key made from it) and its trailer.
    IndexFile& node(uint32_t block, const std::vector<uint32_t>& pointers, uint32_t trailer = 0) {
        if (m_bytes.size() < (block + 2) * 512) m_bytes.resize((block + 2) * 512, '\0');
        uint8_t* n = reinterpret_cast<uint8_t*>(&m_bytes[block * 512]);
        std::memset(n, 0, 1024);
        PutU32(n, static_cast<uint32_t>(pointers.size()));
        for (size_t i = 0; i < pointers.size(); ++i) {
            PutU32(n + 8 + i * kItem, pointers[i]);
            PutU32(n + 12 + i * kItem, 0x30303030u + static_cast<uint32_t>(i));  // ascending keys
        }
        PutU32(n + 8 + pointers.size() * kItem, trailer);
        return *this;
    }
    IndexFile& root(uint32_t block) {
        m_root = block;
        return *this;
    }
    IndexFile& sizeTo(uint64_t size) {
        m_size = size;
        return *this;
    }
    void write(const std::string& path) {
        const TagHeader tag = TagHeader::make({"T", "code", "", false, false}, 'C', 4, m_root, false);
        std::memcpy(&m_bytes[4 * 512], tag.bytes.data(), kTagHeaderCopySize);
        xbtest::WriteFileBytes(path, m_bytes);
        if (m_size > m_bytes.size()) std::filesystem::resize_file(path, m_size);
    }

private:
    std::string m_bytes = std::string(kMdxHeaderSize, '\0');
    uint32_t m_root = 6;
    uint64_t m_size = 0;
};

// A branch node naming one child in every entry and its trailer.
std::vector<uint32_t> allTo(uint32_t child) {
    return std::vector<uint32_t>(IndexFile::kMaxKeys, child);
}

struct Checked {
    std::string reason;
    long extraKiB = 0;  // the child's peak above the memory it started with
    bool finished = false;
};

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The agreement check of the file in a child process, so that its peak memory is its own; the child is
// stopped after 30 seconds, far beyond what any case takes, only so that a hang fails instead of waiting.
Checked checkInChild(const std::string& path, int32_t rows) {
    Checked out;
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return out;
    const long before = residentKiB();
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        alarm(30);
        const std::string reason = IndexDisagreement(path, rows);
        const ssize_t ignored = ::write(pipeFds[1], reason.data(), reason.size());
        (void)ignored;
        _exit(0);
    }
    close(pipeFds[1]);
    char buf[512];
    for (ssize_t n; (n = read(pipeFds[0], buf, sizeof buf)) > 0;)
        out.reason.append(buf, static_cast<size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    out.finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    out.extraKiB = usage.ru_maxrss - before;
    return out;
}

TEST(IndexAgreement, EveryShapeOfTreeIsCheckedOnceInBoundedMemory) {
    xbtest::TempDir tmp;
    constexpr uint64_t kSparse = uint64_t(1900) << 20;
    struct Case {
        const char* what;
        std::function<void(IndexFile&)> make;
        int32_t rows;
        const char* found;  // "" for an index in step with its rows
    } cases[] = {
        {"a sound leaf",
         [](IndexFile& f) {
             f.node(6, {1, 2, 3});
         },
         3, ""},
        {"a row without its key",
         [](IndexFile& f) {
             f.node(6, {1, 3});
         },
         3, "row 2 has no key"},
        // Walked path by path, 127^30 visits of the empty leaf at the bottom; a level at a time, the
        // second entry naming the first's child.
        {"30 levels of branch nodes each naming one child in all its entries",
         [](IndexFile& f) {
             for (uint32_t level = 0; level < 30; ++level)
                 f.node(6 + 2 * level, allTo(8 + 2 * level), 8 + 2 * level);
             f.node(66, {});
         },
         0, "node 8 reached twice"},
        {"a leaf shared by 127 parents' entries",
         [](IndexFile& f) {
             std::vector<uint32_t> parents;
             for (uint32_t p = 0; p < IndexFile::kMaxKeys; ++p) {
                 f.node(10 + 2 * p, {8}, 8);
                 parents.push_back(10 + 2 * p);
             }
             f.node(6, parents, 8).node(8, {1, 2, 3});
         },
         3, "reached twice"},
        {"a cycle of two branch nodes", [](IndexFile& f) { f.node(6, {8}, 8).node(8, {6}, 6); }, 3,
         "reached twice"},
        {"a child past the end", [](IndexFile& f) { f.node(6, {4000000}, 8).node(8, {1}); }, 1,
         "outside the file"},
        {"a sound tree, then 1.9 GB of hole",
         [&](IndexFile& f) {
             f.node(6, {8}, 10).node(8, {1, 2}).node(10, {3}).sizeTo(kSparse);
         },
         3, ""},
        {"a root far out in the hole", [&](IndexFile& f) { f.root(3000000).sizeTo(kSparse); }, 3,
         "row 1 has no key"},
        {"a branch node over 127 children in the hole",
         [&](IndexFile& f) {
             std::vector<uint32_t> children;
             for (uint32_t c = 0; c < IndexFile::kMaxKeys; ++c) children.push_back(2000000 + 9000 * c);
             f.node(6, children, 3000000).sizeTo(kSparse);
         },
         3, "an empty leaf below a branch node"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = tmp.file("t.mdx");
        IndexFile file;
        c.make(file);
        file.write(path);
        const Checked got = checkInChild(path, c.rows);
        ASSERT_TRUE(got.finished) << "the check did not end";
        if (*c.found == 0) {
            EXPECT_EQ(got.reason, "");
        } else {
            EXPECT_NE(got.reason.find(c.found), std::string::npos) << got.reason;
        }
        EXPECT_LT(got.extraKiB, 64 * 1024) << "kB above the start at the check's peak";
        std::filesystem::remove(path);
    }
}

}  // namespace
}  // namespace xb
