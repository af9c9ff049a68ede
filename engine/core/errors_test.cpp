#include "engine/core/errors.h"

#include <gtest/gtest.h>

#include <functional>

#include "engine/core/engine.h"
#include "platform/ui.h"
#include "tests/support/fixtures.h"

namespace xb {
namespace {

using xbtest::EngineTest;

struct MessageCase {
    uint16_t code;
    const char* message;
};

// A sample from every range, the undefined gaps and the boundaries of the network range.
const MessageCase kMessageCases[] = {
    {1, "Invalid DOS function code"},  {2, "File not found"},
    {7, "Undefined error"},            {18, "Too many open files"},
    {32, "File sharing violation"},    {36, "File sharing buffer overflow"},
    {37, "Undefined error"},           {49, "Undefined error"},
    {56, "Net-Bios command limit exceeded"}, {60, "Remote adapter incompatible"},
    {61, "Undefined error"},           {100, "Disk read error"},
    {101, "Disk write error (probable cause: Disk Full)."}, {106, "Invalid numeric format"},
    // System codes the table lacks, as the system says them.
    {112, "No space left on device"},  {183, "File exists"},
    {150, "Disk write-protected"},     {162, "File sharing violation"},
    {200, "Division by zero error"},   {209, "Overlay file read error"},
    {210, "Not a dBASE data file"},    {227, "Insufficient disk space "},
    {228, "Unbalanced Push/Pop operation "}, {232, "Undefined error"},
    {238, "Undefined error"},          {239, "Missing colon in time"},
    {243, "TimeDiff result negative"}, {244, "Undefined error"},
    {254, "Engine internal error"},    {255, "Undefined error"},
    {265, "Undefined error"},          {266, "Invalid size"},
    {350, "Undefined error"},          {1003, "Invalid memo address"},
    {1006, "Undefined error"},         {1019, "Invalid memo operation: database not open or no memo field in database"},
    {1100, "Not a valid operation on Linked List"}, {1103, "Invalid Operation "},
    {1104, "Undefined error"},         {1200, "Record not locked"},
    {1202, "Semaphore file error. Possible solutions: log into network or load SHARE.EXE before running Windows"},
    {1203, "Network Error"},           {1250, "Network Error"},
    {1299, "Network Error"},           {1300, "File format not supported"},
    {1301, "Undefined error"},         {65535, "Undefined error"},
};

TEST(ErrorText, EveryRangeHasItsMessage) {
    for (const auto& c : kMessageCases) {
        EXPECT_EQ(ErrorText(c.code), "Error # " + std::to_string(c.code) + " (" + c.message + ")") << c.code;
    }
}

TEST(ErrorText, ZeroIsEmpty) { EXPECT_EQ(ErrorText(0), ""); }

TEST_F(EngineTest, TrappingOffRecordsAndErrorMsgTakesOnce) {
    SetEngineError(217, " [CreateMemoDescriptor]");
    EXPECT_EQ(LastError(), 217);
    EXPECT_EQ(ErrorMsg(), "Error # 217 (Insufficient memory)\r\n [CreateMemoDescriptor]");
    EXPECT_EQ(ErrorMsg(), "");
    EXPECT_EQ(LastError(), 217);  // the last-error word stays until the next error
}

TEST_F(EngineTest, TakeErrorMessageClearsDetailAndPending) {
    SetEngineError(220, "bad [X]");
    EXPECT_EQ(TakeErrorMessage(), "bad [X]");
    EXPECT_EQ(TakeErrorMessage(), "");
    EXPECT_EQ(ErrorMsg(), "");
}

TEST_F(EngineTest, SetErrorTrapReturnsPreviousValue) {
    SetErrorTrap(true);
    EXPECT_TRUE(SetErrorTrap(false));
    EXPECT_FALSE(SetErrorTrap(true));
    EXPECT_TRUE(SetErrorTrap(false));
}

TEST_F(EngineTest, ExceptionModeRaisesTheWholeText) {
    SetErrorTrap(true);
    EXPECT_FALSE(SetEngineExceptions(true));
    std::string detail(400, 'x');
    try {
        SetEngineError(212, detail + " [GetDbfRecord]");
        FAIL() << "no exception";
    } catch (const EEngineError& e) {
        EXPECT_EQ(std::string(e.what()), "Error # 212 (Request beyond range)\r\n" + detail + " [GetDbfRecord]");
    }
    EXPECT_EQ(LastError(), 212);
    EXPECT_EQ(ErrorMsg(), "");  // pending error and detail were taken
}

TEST_F(EngineTest, HaltingSwallowsErrors) {
    SetErrorTrap(true);
    engine().errors.halting = true;
    SetEngineError(5, "ignored");  // must neither throw nor end the process
    EXPECT_EQ(LastError(), 5);
}

TEST_F(EngineTest, UserErrorProcReplacesReporting) {
    int calls = 0;
    engine().errors.userErrorProc = [&] { ++calls; };
    SetErrorTrap(true);
    SetEngineError(2, "x");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(engine().errors.pendingError, 2);
}

TEST_F(EngineTest, IoResultDispatchesOnlyWhenNonZero) {
    SetErrorTrap(true);
    SetEngineExceptions(true);
    EXPECT_NO_THROW(SetIoResult(0));
    EXPECT_THROW(SetIoResult(101), EEngineError);
    EXPECT_EQ(LastError(), 101);
}

TEST_F(EngineTest, FirstErrorPutsTheFirstFailureBackOnScopeExit) {
    SetErrorTrap(false);
    ErrorState& s = Engine::current().errors;
    auto quiet = [&](uint16_t code, const char* detail) {  // as a refused pack leaves it: the word only
        s.lastError = code;
        s.detail = detail;
    };
    struct {
        const char* name;
        std::function<void(FirstError&)> run;
        uint16_t last, pending;
        const char* detail;
    } cases[] = {
        {"first of two failures, after a cleanup that cleared the word",
         [&](FirstError& f) {
             f.report(101, "first");
             SetEngineError(5, "second");
             f.take();
             s.lastError = 0;
         },
         101, 101, "first"},
        {"an error in the last-error word only stays there only",
         [&](FirstError& f) {
             quiet(32, "refused");
             f.take();
             SetEngineError(5, "cleanup");
         },
         32, 0, "refused"},
        {"nothing taken: a later error stands",
         [&](FirstError& f) {
             f.take();
             SetEngineError(5, "later");
         },
         5, 5, "later"},
        {"dismissed: the run recovered",
         [&](FirstError& f) {
             f.report(101, "first");
             f.dismiss();
             s.lastError = 0;
             s.pendingError = 0;
         },
         0, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        s.lastError = s.pendingError = 0;
        s.detail.clear();
        {
            FirstError f;
            c.run(f);
        }
        EXPECT_EQ(s.lastError, c.last);
        EXPECT_EQ(s.pendingError, c.pending);
        if (c.last != 0) {
            EXPECT_EQ(s.detail, c.detail);
        }
    }
}

TEST(ExitStatus, CodesAboveAByteNeverExitZero) {
    EXPECT_EQ(ExitStatusOf(210), 210);
    EXPECT_EQ(ExitStatusOf(255), 255);
    EXPECT_EQ(ExitStatusOf(256), 255);
    EXPECT_EQ(ExitStatusOf(1280), 255);
    EXPECT_EQ(ExitStatusOf(1300), 255);
}

void haltWith(uint16_t code, const std::string& detail) {
    Engine e(platform::LocaleFactsFromName("en_US"));
    SetHaltHandler([](const std::string& text, uint16_t c) {
        std::fprintf(stderr, "HALT %u <%s> len=%zu\n", c, text.c_str(), text.size());
    });
    SetEngineError(code, detail);
}

TEST(ErrorDeathTest, TrappingOnEndsTheProcessWithTheCode) {
    EXPECT_EXIT(haltWith(210, "x [Use]"), ::testing::ExitedWithCode(210),
                "HALT 210 <Error # 210 \\(Not a dBASE data file\\)\r\nx \\[Use\\]>");
}

TEST(ErrorDeathTest, LargeCodesExitWith255) {
    EXPECT_EXIT(haltWith(1280, "x"), ::testing::ExitedWithCode(255), "HALT 1280");
}

TEST(ErrorDeathTest, HaltTextIsCutTo255Characters) {
    EXPECT_EXIT(haltWith(2, std::string(600, 'y')), ::testing::ExitedWithCode(2), "len=255");
}

TEST(ErrorDeathTest, HaltRunsTheEndOfRunCloseWithHaltingSet) {
    auto run = [] {
        Engine e(platform::LocaleFactsFromName("en_US"));
        SetHaltHandler(nullptr);
        platform::SetUi(nullptr);
        e.addFinalizer([&e] {
            std::fprintf(stderr, "closing halting=%d\n", e.errors.halting ? 1 : 0);
            SetEngineError(5, "during close");  // must not recurse or show anything
            std::fprintf(stderr, "closed\n");
        });
        SetEngineError(33, "[RLock]");
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(33), "Program halted.*\n.*closing halting=1\nclosed");
}

}  // namespace
}  // namespace xb
