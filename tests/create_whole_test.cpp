// Creating a table through the dataset component (the application's road: a missing table is made from
// its field list, with its memo file and its index) as one step. Each write and each flush of the
// creation is made to fail in turn: the open fails, no file is left in the directory, and the next open
// creates a whole table that takes rows. Every case runs with trapping on (an error halts) and off.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "engine/core/errors.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/index_services.h"
#include "engine/dataset/xb_file_dataset.h"
#include "platform/file.h"
#include "tests/support/fixtures.h"
#include "tests/support/lock_wait.h"
#include "tests/support/mdx_checker.h"

namespace {

using namespace xb;
namespace fs = std::filesystem;

const std::vector<std::string> kFields = {"id, N, 8, 0", "name, C, 20, 0", "notes, M, 10, 0"};
const std::vector<std::string> kIndexList = {"ID,F,F,id", "", "NAME,F,F,name", "", "ODD,F,F,id", "id > 5"};

struct Halted {
    uint16_t code;
};

class CreateWhole : public xbtest::EngineTest, public ::testing::WithParamInterface<bool> {
public:
    CreateWhole() : m_saved(IndexServices()) { InstallEngineUnits(engine()); }
    ~CreateWhole() override {
        platform::ClearFaults();
        IndexServices() = m_saved;
        SetHaltHandler(nullptr);
    }

    void SetUp() override {
        SetErrorTrap(GetParam());
        SetHaltHandler([](const std::string&, uint16_t code) { throw Halted{code}; });
    }

    std::unique_ptr<TXbDbf> make() {
        auto t = std::make_unique<TXbDbf>();
        t->Name = "tcreate";
        t->SetDbfFileName(tmp.file("create.dbf"));
        t->DbfFields = kFields;
        t->IndexList = kIndexList;
        t->ShowProgress = false;
        return t;
    }

    // Opens (creating the table); true when the table is open, whatever the open raised otherwise.
    bool tryOpen(TXbDbf& t) {
        try {
            t.Open();
        } catch (const Halted&) {
        } catch (const EEngineError&) {
        } catch (const EDatabaseError&) {
        }
        return t.Active();
    }

    // Everything in the directory, hidden entries and directories included.
    std::vector<std::string> entries() {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(tmp.path())) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

    void clear() {
        for (const auto& e : fs::directory_iterator(tmp.path())) fs::remove_all(e.path());
    }

    // The table is whole: its three files and nothing else (but the semaphore of the open index), every
    // tag sound, and it takes a row with a memo.
    void expectWhole(TXbDbf& t) {
        std::vector<std::string> files = entries();
        std::erase(files, "create.@s@");
        EXPECT_EQ(files, (std::vector<std::string>{"create.dbf", "create.dbt", "create.mdx"}));
        const xbtest::MdxReport report = xbtest::CheckMdxFile(tmp.file("create.mdx"), {false, 0});
        EXPECT_TRUE(report.ok()) << report.text();
        EXPECT_EQ(report.tags.size(), 3u);
        ASSERT_TRUE(t.ALock());
        t.AppendBlank();
        t.UnLock();
        ASSERT_TRUE(t.RLock());
        t.FieldPutInt("id", 7);
        t.FieldPutStr("name", "Seven");
        t.FieldPutStr("notes", "a memo");
        t.ReplaceRec();
        t.UnLock();
        ASSERT_TRUE(t.SetOrderToTag("ODD"));
        t.GoTop();
        EXPECT_FALSE(t.IsEof());
        EXPECT_EQ(t.FieldGetInt("id"), 7);
        EXPECT_EQ(t.FieldGetStr("notes"), "a memo");
    }

private:
    DatasetIndexServices m_saved;
};

TEST_P(CreateWhole, ACreationFailedAtEachWriteOrFlushLeavesNoFileAndTheNextCreationWorks) {
    for (const auto& [op, what] :
         {std::pair{platform::FaultOp::Write, "write"}, {platform::FaultOp::Flush, "flush"}}) {
        int failures = 0;
        for (int n = 1;; ++n) {
            SCOPED_TRACE(std::string(what) + " " + std::to_string(n));
            ASSERT_LT(n, 200) << "the creation never ran through";
            clear();
            auto t = make();
            platform::InjectFault(op, n, 112);
            const bool opened = tryOpen(*t);
            const bool reached = !platform::FaultArmed(op);
            platform::ClearFaults();
            if (!reached) {
                // Past the creation's last write: it ran through.
                ASSERT_TRUE(opened) << LastError() << " " << engine().errors.detail;
                expectWhole(*t);
                break;
            }
            if (opened) {
                // The fault hit a write after the creation (the open's own): the table must be whole.
                expectWhole(*t);
                continue;
            }
            t.reset();
            // Either the creation failed and left nothing, or it ran through and the open after it failed.
            std::vector<std::string> files = entries();
            std::erase(files, "create.@s@");
            if (files.empty())
                ++failures;
            else
                EXPECT_EQ(files, (std::vector<std::string>{"create.dbf", "create.dbt", "create.mdx"}));
            auto again = make();
            ASSERT_TRUE(tryOpen(*again)) << LastError() << " " << engine().errors.detail;
            expectWhole(*again);
        }
        // Writes: a table header, a memo header, an index header, its tags and their roots at the least.
        EXPECT_GE(failures, op == platform::FaultOp::Write ? 5 : 1) << what;
    }
}

TEST_P(CreateWhole, AnIndexRefusedAtTheCreationIsAskedForOnceAndTheTableIsMadeWithout) {
    auto t = make();
    int asked = 0;
    t->OnBeforeMakeIndex = [&](TXbFileDataSet&, const std::string& name, bool& canMake) {
        ++asked;
        EXPECT_EQ(fs::path(name).filename(), "create.mdx");
        canMake = false;
    };
    ASSERT_TRUE(tryOpen(*t)) << LastError() << " " << engine().errors.detail;
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(entries(), (std::vector<std::string>{"create.dbf", "create.dbt"}));
}

TEST_P(CreateWhole, AMemoOrIndexWithoutItsTableIsNeverReplacedAndTheCreateIsRefusedNamingIt) {
    for (const char* left : {"create.dbt", "create.mdx"}) {
        SCOPED_TRACE(left);
        xbtest::WriteFileBytes(tmp.file(left), "notes a user had");
        auto t = make();
        std::string said;
        try {
            t->Open();
        } catch (const std::exception& e) {
            said = e.what();
        } catch (...) {
        }
        EXPECT_FALSE(t->Active());
        EXPECT_NE((said + engine().errors.detail).find(left), std::string::npos) << said;
        EXPECT_EQ(xbtest::ReadFileBytes(tmp.file(left)), "notes a user had");
        EXPECT_EQ(entries(), std::vector<std::string>{left});
        fs::remove(tmp.file(left));
        t.reset();
        engine().errors.pendingError = 0;
        SetIoResult(0);
    }
    // Gone, the table is created with both.
    auto t = make();
    ASSERT_TRUE(tryOpen(*t)) << LastError() << " " << engine().errors.detail;
    expectWhole(*t);
}

// A link at the creation lock, to a file outside the folder that does not exist and to one that does:
// the create is refused naming the lock file and what it is, nothing is made or changed outside, nothing
// is left in the folder but the link, and once it is gone the table is created.
TEST_P(CreateWhole, ALinkAtTheCreationLockIsRefusedByNameAndNothingOutsideIsTouched) {
    xbtest::TempDir outside;
    xbtest::WriteFileBytes(outside.file("kept"), "the user's");
    for (const char* target : {"made", "kept"}) {
        SCOPED_TRACE(target);
        const std::string lock = tmp.file(".create.dbf.lock");
        ASSERT_EQ(::symlink(outside.file(target).c_str(), lock.c_str()), 0);
        auto t = make();
        std::string said;
        try {
            t->Open();
        } catch (const std::exception& e) {
            said = e.what();
        } catch (...) {
        }
        EXPECT_FALSE(t->Active());
        EXPECT_NE((said + engine().errors.detail).find(lock + " is a symbolic link"), std::string::npos)
            << said << engine().errors.detail;
        EXPECT_FALSE(fs::exists(outside.file("made")));
        EXPECT_EQ(xbtest::ReadFileBytes(outside.file("kept")), "the user's");
        EXPECT_EQ(entries(), std::vector<std::string>{".create.dbf.lock"});
        fs::remove(lock);
        t.reset();
        engine().errors.pendingError = 0;
        SetIoResult(0);
    }
    auto t = make();
    ASSERT_TRUE(tryOpen(*t)) << LastError() << " " << engine().errors.detail;
    expectWhole(*t);
}

// Two stations create the same missing table at the same moment, on a file system with every way of
// publishing it and on ones that refuse hard links (FAT, exFAT) and renames that keep a target: each
// station opens a table, and each one's row is in it. A creation that replaced the table the other had
// made and written to would lose that row; one seen half made would fail the other's open.
TEST_P(CreateWhole, TwoStationsCreatingAtOnceShareOneWholeTableWhateverTheFileSystemAllows) {
    using platform::PublishWay;
    for (const PublishWay way : {PublishWay::Link, PublishWay::RenameNoReplace, PublishWay::LockedRename}) {
        for (int round = 0; round < 12; ++round) {
            SCOPED_TRACE("publishing by way " + std::to_string(static_cast<int>(way)) + ", round " +
                         std::to_string(round));
            clear();
            const std::string go = tmp.file("go");
            std::vector<pid_t> stations;
            for (int id : {1, 2}) {
                const pid_t pid = fork();
                ASSERT_GE(pid, 0);
                if (pid == 0) {
                    platform::RefusePublishWaysBefore(way);
                    while (!fs::exists(go)) std::this_thread::yield();
                    int code = 0;
                    try {
                        auto t = make();
                        t->Open();
                        if (!t->Active()) std::_Exit(1);
                        // The other station may hold the append lock (or the row's) just then.
                        if (!xbtest::WaitForLock([&] { return t->ALock(); })) std::_Exit(3);
                        t->AppendBlank();
                        t->UnLock();
                        if (!xbtest::WaitForLock([&] { return t->RLock(); })) std::_Exit(4);
                        t->FieldPutInt("id", id);
                        t->ReplaceRec();
                        t->UnLock();
                        t->Close();
                    } catch (...) {
                        code = 2;
                    }
                    std::_Exit(code);
                }
                stations.push_back(pid);
            }
            xbtest::WriteFileBytes(go, "");
            for (pid_t pid : stations) {
                int status = 0;
                ASSERT_EQ(waitpid(pid, &status, 0), pid);
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a station failed: " << status;
            }
            fs::remove(go);
            std::vector<std::string> files = entries();
            std::erase(files, "create.@s@");
            ASSERT_EQ(files, (std::vector<std::string>{"create.dbf", "create.dbt", "create.mdx"}));
            auto t = make();
            ASSERT_TRUE(tryOpen(*t)) << LastError() << " " << engine().errors.detail;
            std::vector<int32_t> ids;
            for (t->GoTop(); !t->IsEof(); t->Skip(1)) ids.push_back(t->FieldGetInt("id"));
            std::sort(ids.begin(), ids.end());
            EXPECT_EQ(ids, (std::vector<int32_t>{1, 2}));
            t->Close();
        }
    }
    // The way asked for is the way taken.
    clear();
    platform::RefusePublishWaysBefore(PublishWay::LockedRename);
    auto t = make();
    ASSERT_TRUE(tryOpen(*t));
    EXPECT_EQ(platform::LastPublishWay(), PublishWay::LockedRename);
    platform::ClearFaults();
}

INSTANTIATE_TEST_SUITE_P(Trapping, CreateWhole, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "On" : "Off"; });

}  // namespace
