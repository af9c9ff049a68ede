#include "engine/core/errors.h"

#include <cstdlib>
#include <unistd.h>

#include "engine/core/engine.h"
#include "platform/file.h"
#include "platform/ui.h"

namespace xb {

namespace {

HaltHandler g_haltHandler;

ErrorState& state() { return Engine::current().errors; }

struct CodeText {
    uint16_t code;
    const char* text;
};

constexpr CodeText kMessages[] = {
    {1, "Invalid DOS function code"},
    {2, "File not found"},
    {3, "Path not found"},
    {4, "Too many open files"},
    {5, "File access denied"},
    {6, "Invalid file handle"},
    {8, "Not enough memory"},
    {9, "Memory block address invalid"},
    {10, "Environment invalid"},
    {11, "Format invalid"},
    {12, "Invalid file access code"},
    {13, "Data invalid"},
    {14, "Unknown unit"},
    {15, "Invalid drive number"},
    {16, "Cannot remove current directory"},
    {17, "Cannot rename across drives"},
    {18, "Too many open files"},
    {19, "Disk write-protected"},
    {20, "Unknown unit"},
    {21, "Drive not ready"},
    {22, "Unknown command"},
    {23, "CRC error in data"},
    {24, "Bad drive request structure length"},
    {25, "Disk seek error"},
    {26, "Unknown media type"},
    {27, "Disk sector not found"},
    {28, "Printer out of paper"},
    {29, "Device write fault"},
    {30, "Device read fault"},
    {31, "General failure"},
    {32, "File sharing violation"},
    {33, "File lock violation"},
    {34, "Disk change invalid"},
    {35, "File Control Block unavailable"},
    {36, "File sharing buffer overflow"},
    {50, "Unsupported network request"},
    {51, "Remote machine not listening"},
    {52, "Duplicate name on network"},
    {53, "Network name not found"},
    {54, "Network busy"},
    {55, "Device no longer exists on network"},
    {56, "Net-Bios command limit exceeded"},
    {57, "Error in network adapter hardware"},
    {58, "Incorrect response from network"},
    {59, "Unexpected network error"},
    {60, "Remote adapter incompatible"},
    {100, "Disk read error"},
    {101, "Disk write error (probable cause: Disk Full)."},
    {102, "File not assigned"},
    {103, "File not open"},
    {104, "File not open for input"},
    {105, "File not open for output"},
    {106, "Invalid numeric format"},
    {150, "Disk write-protected"},
    {151, "Unknown unit"},
    {152, "Drive not ready"},
    {153, "Unknown command"},
    {154, "CRC error in data"},
    {155, "Bad drive request structure length"},
    {156, "Disk seek error"},
    {157, "Unknown media type"},
    {158, "Disk sector not found"},
    {159, "Printer out of paper"},
    {160, "Device write fault"},
    {161, "Device read fault"},
    {162, "File sharing violation"},
    {200, "Division by zero error"},
    {201, "Range check error"},
    {202, "Stack overflow error"},
    {203, "Heap overflow error"},
    {204, "Invalid pointer operation"},
    {205, "Floating point overflow"},
    {206, "Floating point underflow"},
    {207, "Invalid floating point operation"},
    {208, "Overlay-manager not installed"},
    {209, "Overlay file read error"},
    {210, "Not a dBASE data file"},
    {211, "Invalid database field type encountered"},
    {212, "Request beyond range"},
    {213, "End of file found unexpectedly"},
    {214, "File already in use"},
    {215, "No database in use"},
    {216, "GP Fault"},
    {217, "Insufficient memory"},
    {218, "Invalid pointer specified"},
    {219, "Cannot duplicate file handle"},
    {220, "Invalid parameter"},
    {221, "Index file not open"},
    {222, "Corrupted index file"},
    {223, "Index version mismatch"},
    {224, "Cyclical relationship detected"},
    {225, "Exclusive Use() required"},
    {226, "BROWSE not active"},
    {227, "Insufficient disk space "},
    {228, "Unbalanced Push/Pop operation "},
    {229, "dBASE IV memo files not supported"},
    {230, "No dBASE memory variables loaded"},
    {231, "Screen library not open"},
    {239, "Missing colon in time"},
    {240, "Non-numeric character in time"},
    {241, "Invalid time specified"},
    {242, "Negative time specified"},
    {243, "TimeDiff result negative"},
    {254, "Engine internal error"},
    {266, "Invalid size"},
    {1003, "Invalid memo address"},
    {1004, "Disk full"},
    {1005, "Memo file write error"},
    {1007, "Memo file is already open"},
    {1012, "Insufficient disk space to pack memo file"},
    {1017, "Cannot lock memo file"},
    {1018, "Cannot unlock memo file"},
    {1019, "Invalid memo operation: database not open or no memo field in database"},
    {1100, "Not a valid operation on Linked List"},
    {1101, "Virtual File Manager Unit not Linked in"},
    {1102, "Virtual File Memory Management Error"},
    {1103, "Invalid Operation "},
    {1200, "Record not locked"},
    {1201, "File not locked"},
    {1202, "Semaphore file error. Possible solutions: log into network or load SHARE.EXE before running Windows"},
    {1300, "File format not supported"},
};

}  // namespace

const char* ErrorMessage(uint16_t code) {
    if (code >= 1203 && code <= 1299) return "Network Error";
    for (const auto& m : kMessages)
        if (m.code == code) return m.text;
    // A system code the table does not list (112, a full disk) is said as the system says it.
    if (const char* text = platform::SystemErrorText(code)) return text;
    return "Undefined error";
}

std::string ErrorText(uint16_t code) {
    if (code == 0) return {};
    return "Error # " + std::to_string(code) + " (" + ErrorMessage(code) + ")";
}

void SetEngineError(uint16_t code, const std::string& detail) {
    ErrorState& s = state();
    s.lastError = code;
    s.pendingError = code;
    s.detail = detail;
    if (s.trapping) EngineErrorHandler();
}

int ExitStatusOf(uint16_t code) { return code > 255 ? 255 : (code == 0 ? 255 : code); }

void SetHaltHandler(HaltHandler handler) { g_haltHandler = std::move(handler); }

void EngineErrorHandler() {
    ErrorState& s = state();
    if (s.halting) return;
    s.pendingError = s.lastError;
    if (s.userErrorProc) {
        s.userErrorProc();
        return;
    }
    if (s.lastError == 0) return;
    std::string text = ErrorText(s.lastError) + "\r\n" + TakeErrorMessage();
    if (s.exceptionMode) RaiseEngineError(text);

    if (text.size() > 255) text.resize(255);
    const uint16_t code = s.lastError;
    if (g_haltHandler) {
        g_haltHandler(text, code);
    } else {
        EngineMessageBox(text, "Program halted.", platform::kMbOk | platform::kMbIconStop);
    }
    // The end-of-run close still runs, so that appended records are not left behind a stale header
    // count; errors raised while it runs are recorded but never shown.
    s.halting = true;
    Engine::current().shutdown();
    std::fflush(nullptr);
    std::exit(ExitStatusOf(code));
}

std::string TakeErrorMessage() {
    ErrorState& s = state();
    std::string d = std::move(s.detail);
    s.detail.clear();
    s.pendingError = 0;
    return d;
}

std::string ErrorMsg() {
    ErrorState& s = state();
    if (s.pendingError == 0) return {};
    std::string head = ErrorText(s.pendingError);
    return head + "\r\n" + TakeErrorMessage();
}

bool SetErrorTrap(bool on) {
    ErrorState& s = state();
    bool old = s.trapping;
    s.trapping = on;
    return old;
}

bool SetEngineExceptions(bool on) {
    ErrorState& s = state();
    bool old = s.exceptionMode;
    s.exceptionMode = on;
    return old;
}

void RaiseEngineError(const std::string& text) { throw EEngineError(text); }

int EngineMessageBox(const std::string& text, const std::string& caption, uint16_t flags) {
    return platform::CurrentUi().messageBox(text.substr(0, 255), caption.substr(0, 255), flags);
}

uint16_t LastError() { return state().lastError; }

void SetIoResult(uint16_t code) {
    ErrorState& s = state();
    s.lastError = code;
    if (code != 0 && s.trapping) EngineErrorHandler();
}

void FirstError::take() {
    const ErrorState& s = Engine::current().errors;
    const uint16_t code = s.lastError ? s.lastError : s.pendingError;
    if (m_code != 0 || code == 0) return;
    m_code = code;
    m_pending = s.pendingError;
    m_detail = s.detail;
}

void FirstError::report(uint16_t code, const std::string& detail) {
    SetEngineError(code, detail);
    take();
}

void FirstError::restore() const {
    if (m_code == 0) return;
    ErrorState& s = Engine::current().errors;
    s.lastError = m_code;
    s.pendingError = m_pending;
    s.detail = m_detail;
}

}  // namespace xb
