// Writes a report's page and its chart images as one set: each file goes first to a temporary beside
// it, and only when every one is complete are they renamed over the old files. A failure therefore
// replaces nothing and leaves no temporary; the caller learns which file failed and why.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

namespace app {

class ReportFileSet {
public:
    // Writes one file to the given temporary path; returns the empty text on success, else what failed.
    using Writer = std::function<QString(const QString& tempPath)>;

    void Add(const QString& finalPath, Writer write);
    void AddBytes(const QString& finalPath, const QByteArray& bytes);

    // True when every file is in place. On false, failedPath() and error() say what went wrong; files
    // renamed before a failed rename (which needs a fault of the directory itself) stay replaced.
    bool Commit();

    const QString& failedPath() const { return m_failedPath; }
    const QString& error() const { return m_error; }

    // The temporary that Commit uses for a final path (tests look for leftovers with it).
    static QString TempPathOf(const QString& finalPath);

private:
    struct Entry {
        QString finalPath;
        Writer write;
    };
    std::vector<Entry> m_entries;
    QString m_failedPath;
    QString m_error;
};

// Writes bytes to path through the platform's file layer (created or truncated, flushed); returns the
// empty text on success, else the reason.
QString WriteWholeFile(const QString& path, const QByteArray& bytes);

}  // namespace app
