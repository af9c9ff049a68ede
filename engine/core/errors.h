// The engine's numbered error system: one entry point (SetEngineError), one dispatcher
// (EngineErrorHandler) and the table of messages. The state lives in the current Engine.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace xb {

// The engine's exception; raised only in exception mode (and by the index engine's error routine).
class EEngineError : public std::runtime_error {
public:
    explicit EEngineError(const std::string& text) : std::runtime_error(text) {}
};

// Receives the final halt: the message (already cut to 255 characters) and the error code. The default
// shows the message through the UI seam and ends the process; tests and the shell may install their own.
// A handler that returns lets the dispatcher end the process anyway.
using HaltHandler = std::function<void(const std::string& text, uint16_t code)>;

struct ErrorState {
    uint16_t lastError = 0;
    uint16_t pendingError = 0;
    std::string detail;
    bool trapping = true;
    bool exceptionMode = false;
    bool halting = false;
    std::function<void()> userErrorProc;  // called by the dispatcher in place of its own reporting
};

// The message of a code, "Undefined error" for codes without one.
const char* ErrorMessage(uint16_t code);
// "Error # " + code + " (" + message + ")"; empty for 0.
std::string ErrorText(uint16_t code);

void SetEngineError(uint16_t code, const std::string& detail);
void EngineErrorHandler();
std::string TakeErrorMessage();
std::string ErrorMsg();
bool SetErrorTrap(bool on);
bool SetEngineExceptions(bool on);
[[noreturn]] void RaiseEngineError(const std::string& text);
int EngineMessageBox(const std::string& text, const std::string& caption, uint16_t flags);

// The last-error word, read by callers that switched trapping off.
uint16_t LastError();
// File routines store each step's I/O result here (0 after a successful step) and, when it is non-zero
// and trapping is on, run the dispatcher.
void SetIoResult(uint16_t code);

// The process exit status of an error code: an 8-bit status would turn 256, 512 or 1280 into
// "success", so every code above 255 ends the process with 255.
int ExitStatusOf(uint16_t code);

void SetHaltHandler(HaltHandler handler);

// The first failure of a run of steps that go on after one fails: later steps that succeed (a cleanup,
// a close) clear or overwrite the error word, which must still tell the caller why the run failed.
// take() after each failing step keeps the first (the last-error word, else the pending error) with its
// text and the pending error as it stood; when the guard goes out of scope they are put back. A guard
// taken before a cleanup keeps the error the caller already had, shown or not: an error left in the
// last-error word only stays there only.
class FirstError {
public:
    FirstError() = default;
    ~FirstError() { restore(); }
    FirstError(const FirstError&) = delete;
    FirstError& operator=(const FirstError&) = delete;

    void take();
    // Reports a failure and keeps it when it is the first.
    void report(uint16_t code, const std::string& detail);
    // Puts the kept error back now (scope exit does it again, to the same effect).
    void restore() const;
    // Forgets the kept error: the run recovered and nothing is put back.
    void dismiss() { m_code = 0; }
    bool any() const { return m_code != 0; }

private:
    uint16_t m_code = 0;
    uint16_t m_pending = 0;
    std::string m_detail;
};

}  // namespace xb
