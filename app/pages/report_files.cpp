#include "app/pages/report_files.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include "app/settings/lang_texts.h"
#include "platform/file.h"

namespace app {

namespace {

// The reason in the user's language: the common failures by name, any other by its number.
QString reasonOf(int code) {
    switch (code) {
        case 2: return GetLangText(Text::SystemFileNotFound);
        case 3: return GetLangText(Text::SystemPathNotFound);
        case 5: return GetLangText(Text::SystemAccessDenied);
        case 32: return GetLangText(Text::SystemFileInUse);
        case 39:
        case 101:  // a write that stopped half-way: the disk filled up
        case 112: return GetLangText(Text::SystemDiskFull);
        case 206: return GetLangText(Text::SystemNameTooLong);
        default: return GetLangText(Text::SystemErrorCode).arg(code);
    }
}

}  // namespace

QString WriteWholeFile(const QString& path, const QByteArray& bytes) {
    namespace p = xb::platform;
    p::File file;
    int rc = file.create(path.toStdString(), p::kModeExclusive);
    if (rc == 0 && !bytes.isEmpty()) rc = file.writeAt(0, bytes.constData(), size_t(bytes.size()));
    if (rc == 0) rc = file.flush();
    file.close();
    return rc == 0 ? QString() : reasonOf(rc);
}

QString ReportFileSet::TempPathOf(const QString& finalPath) {
    const QFileInfo info(finalPath);
    const QString name = QStringLiteral(".") + info.fileName() + QStringLiteral(".%1.tmp").arg(::getpid());
    // A name the file system takes must not fail for its temporary's longer one: past 255 bytes the
    // temporary is named by a hash of the name.
    if (name.toUtf8().size() <= 255) return info.path() + QLatin1Char('/') + name;
    return info.path() + QStringLiteral("/.lm%1.%2.tmp").arg(qHash(info.fileName()), 0, 16).arg(::getpid());
}

void ReportFileSet::Add(const QString& finalPath, Writer write) {
    m_entries.push_back({finalPath, std::move(write)});
}

void ReportFileSet::AddBytes(const QString& finalPath, const QByteArray& bytes) {
    Add(finalPath, [bytes](const QString& temp) { return WriteWholeFile(temp, bytes); });
}

bool ReportFileSet::Commit() {
    namespace p = xb::platform;
    m_failedPath.clear();
    m_error.clear();
    size_t written = 0;
    auto removeTemporaries = [&](size_t from) {
        for (size_t i = from; i < written; ++i)
            p::RemoveFileIfExists(TempPathOf(m_entries[i].finalPath).toStdString());
    };
    for (const Entry& e : m_entries) {
        // A folder of that name would refuse the rename only after every file was written.
        if (QFileInfo(e.finalPath).isDir()) {
            removeTemporaries(0);
            m_failedPath = e.finalPath;
            m_error = GetLangText(Text::NameIsFolder).arg(QDir::toNativeSeparators(e.finalPath));
            return false;
        }
        const QString temp = TempPathOf(e.finalPath);
        QString error = e.write(temp);
        if (error.isEmpty() && !QFileInfo(temp).isFile()) error = GetLangText(Text::NothingWritten);
        if (!error.isEmpty()) {
            p::RemoveFileIfExists(temp.toStdString());
            removeTemporaries(0);
            m_failedPath = e.finalPath;
            m_error = error;
            return false;
        }
        ++written;
    }
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const Entry& e = m_entries[i];
        int rc = p::RenameFile(TempPathOf(e.finalPath).toStdString(), e.finalPath.toStdString());
        if (rc != 0) {
            removeTemporaries(i);
            m_failedPath = e.finalPath;
            m_error = reasonOf(rc);
            return false;
        }
    }
    if (!m_entries.empty()) p::SyncDirectoryOf(m_entries.front().finalPath.toStdString());
    return true;
}

}  // namespace app
