// Every modal window of the application is run through here, so that tests answer it by script instead
// of blocking in exec(). The program leaves the runner empty: the window's own exec() runs.
#pragma once

#include <functional>

class QDialog;

namespace app {

// Receives the window to run modally; returns what exec() would (QDialog::Accepted, ...).
using ModalRunner = std::function<int(QDialog& dialog)>;

// Installs a runner (an empty one restores exec()); returns the previous one.
ModalRunner SetModalRunner(ModalRunner runner);
int ExecModal(QDialog& dialog);

}  // namespace app
