// What every editing window's handlers run under: the hourglass cursor for long work, and a catch that
// turns an exception into a message box (no exception may cross the Qt event loop). `Guarded` wraps a
// handler for `connect`.
#pragma once

#include <QString>
#include <functional>
#include <type_traits>
#include <utility>

namespace app {

// The wait cursor for the guard's life.
class HourGlass {
public:
    HourGlass();
    ~HourGlass();
    HourGlass(const HourGlass&) = delete;
    HourGlass& operator=(const HourGlass&) = delete;
};

// Runs the handler; an exception it throws is shown in a message box (its text, stop icon) through the
// platform's UI seam. Returns false when the handler threw.
bool RunGuarded(const std::function<void()>& handler);

// A slot that runs fn under RunGuarded, for connect(sender, signal, receiver, Guarded(...)). The signal's
// arguments are passed on when fn takes them (clicked(bool) may call a handler without arguments).
template <typename Fn>
auto Guarded(Fn fn) {
    return [fn = std::move(fn)](auto&&... args) {
        if constexpr (std::is_invocable_v<const Fn&, decltype(args)...>)
            RunGuarded([&] { fn(std::forward<decltype(args)>(args)...); });
        else
            RunGuarded([&] { fn(); });
    };
}

// Shows a message box with an OK button through the UI seam.
void ShowMessage(const QString& text, const QString& caption, unsigned iconFlags);

// The deletion question: text 52 under caption text 53, Yes and No with the warning icon; true for Yes.
// A detail (what else goes with the record) is shown on a line of its own under text 52.
bool AskDeleteConfirmation(const QString& detail = {});

// A write or delete stopped at a lock another station holds: the lock-failed text under text 30. Nothing was
// written by the step that stopped; trying again completes it.
void ShowLockFailed();

// A save refused because another station saved the record since the window loaded it (LastWriteRefusal
// kChanged): says so with what is stored now and asks whether to save the window's values over it. True
// for Yes (save over); No keeps the stored version, which the caller shows again.
// No is the default button: Enter keeps the colleague's values.
bool AskSaveOverChanged(const QString& storedNow, const QString& caption);
// A delete refused for the same reason (another station saved the record since the window listed it):
// says so with what is stored now and asks whether to delete it all the same. True for Yes; No, the
// default button, deletes nothing and the caller lists the record as stored.
bool AskDeleteOverChanged(const QString& storedNow, const QString& caption);

// After a league write that stored nothing (league_access.h): the message that says why, a character the
// table cannot hold or a lock another station holds.
void ShowWriteRefused();

}  // namespace app
