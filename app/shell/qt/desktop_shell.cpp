#include "app/shell/qt/desktop_shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace app {

bool DesktopShell::open(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

}  // namespace app
