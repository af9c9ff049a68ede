// The one way the application shows a modal window (the language choice, the about box, the export
// chooser, the pick list, the match entry, ...): the program runs the dialog's own loop; a test installs
// a driver that gets the real window, already shown, runs its QTest script on it and returns. Nothing
// under test blocks in exec().
#pragma once

#include <functional>

class QDialog;

namespace app {

// Runs a test's script on a modal window that is shown; the window is rejected afterwards when the
// script left it open.
using ModalDriver = std::function<void(QDialog&)>;

// Shows the dialog modally and returns its result (QDialog::Accepted or Rejected) once it is closed.
int ShowModal(QDialog& dialog);

// Installs the driver (an empty one restores exec()); returns the previous one.
ModalDriver SetModalDriver(ModalDriver driver);

// Installs a driver for the guard's life.
class ModalDriverScope {
public:
    explicit ModalDriverScope(ModalDriver driver) : m_previous(SetModalDriver(std::move(driver))) {}
    ~ModalDriverScope() { SetModalDriver(std::move(m_previous)); }
    ModalDriverScope(const ModalDriverScope&) = delete;
    ModalDriverScope& operator=(const ModalDriverScope&) = delete;

private:
    ModalDriver m_previous;
};

}  // namespace app
