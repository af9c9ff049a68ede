#include "app/shell/qt/file_dialogs.h"

#include <QFileDialog>

namespace app {

namespace {
FileDialogChooser g_chooser;
}

FileDialogChooser SetFileDialogChooser(FileDialogChooser chooser) {
    FileDialogChooser previous = std::move(g_chooser);
    g_chooser = std::move(chooser);
    return previous;
}

QString ChooseFile(const FileDialogRequest& request, QWidget* parent) {
    if (g_chooser) return g_chooser(request);
    QFileDialog dialog(parent, request.title, request.directory, request.filter);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (request.save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().front();
}

}  // namespace app
