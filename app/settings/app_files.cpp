#include "app/settings/app_files.h"

#include <QUrl>
#include <filesystem>
#include <system_error>

#include "platform/file.h"
#include "platform/paths.h"
#include "platform/shell_open.h"

namespace app {

namespace {

QString g_appDir;

QString withSlash(QString dir) {
    if (!dir.endsWith(u'/')) dir += u'/';
    return dir;
}

QString executableDir() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return QStringLiteral("./");
    return withSlash(QString::fromStdString(exe.parent_path().string()));
}

}  // namespace

QString GetAppDir() {
    if (g_appDir.isEmpty()) g_appDir = executableDir();
    return g_appDir;
}

std::function<void()>& AppDirChangeHook() {
    static std::function<void()> hook;
    return hook;
}

void SetAppDir(const QString& dir) {
    if (AppDirChangeHook()) AppDirChangeHook()();
    g_appDir = dir.isEmpty() ? QString() : withSlash(dir);
}

QString StripExtension(const QString& fileName) {
    // The last character is never taken as the dot ("name." stays whole), and a dot in a directory name
    // is not an extension.
    for (qsizetype i = fileName.size() - 2; i >= 0; --i) {
        if (fileName[i] == u'/') break;
        if (fileName[i] == u'.') return fileName.left(i);
    }
    return fileName;
}

bool ShellOpenFile(const QString& path) {
    return xb::platform::CurrentShell().open(
        QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded).toStdString());
}

bool OpenInBrowser(const QString& address) {
    return xb::platform::CurrentShell().open(address.toStdString());
}

bool FolderRefusesWrites(const std::string& folder) {
    namespace p = xb::platform;
    // A folder that is not there refuses nothing here: the probe's creation then fails for another reason.
    std::string probe;
    const int rc = p::UniqueTempFile(folder, ".lm-probe-", probe);
    if (rc == 0) {
        p::RemoveFileIfExists(probe);
        return false;
    }
    return rc == p::kErrAccessDenied;
}

}  // namespace app
