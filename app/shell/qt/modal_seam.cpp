#include "app/shell/qt/modal_seam.h"

#include <QDialog>

namespace app {

namespace {
ModalDriver& Driver() {
    static ModalDriver driver;
    return driver;
}
}  // namespace

int ShowModal(QDialog& dialog) {
    if (!Driver()) return dialog.exec();
    // A copy: the script may install another driver for a nested modal window.
    ModalDriver driver = Driver();
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setResult(QDialog::Rejected);
    dialog.show();
    driver(dialog);
    if (dialog.isVisible()) dialog.reject();
    return dialog.result();
}

ModalDriver SetModalDriver(ModalDriver driver) {
    ModalDriver previous = std::move(Driver());
    Driver() = std::move(driver);
    return previous;
}

}  // namespace app
