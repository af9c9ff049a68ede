#include "app/settings/text_file.h"

#include "platform/codepage.h"
#include "platform/file.h"

namespace app {

namespace {

bool IsBlankChar(QChar c) {
    return c == u' ' || c == u'\t';
}

bool IsBlankText(const QString& text) {
    for (QChar c : text) {
        if (!IsBlankChar(c)) return false;
    }
    return true;
}

// Reads the whole file through the platform layer, so that read failures surface as error codes. A file
// larger than maxBytes (when not 0) is not read: its size goes to tooLarge.
int ReadWholeFile(const std::string& path, std::string& out, uint64_t maxBytes, uint64_t& tooLarge) {
    xb::platform::File file;
    if (int err = file.open(path, xb::platform::kModeSharedRead)) return err;
    uint64_t size = 0;
    if (int err = file.size(size)) return err;
    if (maxBytes != 0 && size > maxBytes) {
        tooLarge = size;
        return 0;
    }
    out.clear();
    out.reserve(static_cast<size_t>(size));
    char buf[65536];
    uint64_t offset = 0;
    while (offset < size) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(sizeof buf, size - offset));
        size_t got = 0;
        if (int err = file.readAt(offset, buf, want, &got)) return err;
        if (got == 0) break;  // the file shrank while we read it
        out.append(buf, got);
        offset += got;
    }
    return 0;
}

}  // namespace

ETextFileError::ETextFileError(const QString& message)
    : std::runtime_error(message.toStdString()), m_message(message) {}

TTextFile::TTextFile(QChar separator, QChar quote) : m_separator(separator), m_quote(quote) {}

QString TTextFile::DecodeText(const std::string& bytes) {
    if (xb::platform::IsValidUtf8(bytes)) {
        std::string_view view(bytes);
        if (view.substr(0, 3) == "\xEF\xBB\xBF") view.remove_prefix(3);
        return QString::fromUtf8(view.data(), static_cast<qsizetype>(view.size()));
    }
    return QString::fromStdString(xb::platform::ToUtf8(bytes, 1252));
}

void TTextFile::SetFileName(const QString& fileName) {
    if (fileName == m_fileName) return;
    if (m_open) Close();
    m_fileName = fileName;
    if (!m_fileName.isEmpty()) Open();
}

void TTextFile::Close() {
    m_lines.clear();
    m_nextLine = 0;
    m_currentLine.clear();
    m_open = false;
}

void TTextFile::Open() {
    Close();
    m_lineCount = 0;
    if (m_fileName.isEmpty()) Error(QStringLiteral("No valid file selected"));
    std::string bytes;
    m_tooLargeSize = 0;
    if (int err = ReadWholeFile(m_fileName.toStdString(), bytes, m_maxBytes, m_tooLargeSize)) {
        Error(QStringLiteral("Cannot read the file %1 (error %2)").arg(m_fileName).arg(err));
    }
    if (m_tooLargeSize != 0) {
        Error(QStringLiteral("The file %1 is too large (%2 bytes)").arg(m_fileName).arg(m_tooLargeSize));
    }
    m_lines = DecodeText(bytes).split(u'\n');
    // A final line end does not start another line.
    if (!m_lines.isEmpty() && m_lines.last().isEmpty()) m_lines.removeLast();
    for (QString& line : m_lines) {
        if (line.endsWith(u'\r')) line.chop(1);
    }
    m_open = true;
    ReadLine();
}

bool TTextFile::ReadLine() {
    if (!m_open) Error(QStringLiteral("No valid file selected"));
    m_currentLine.clear();
    while (m_nextLine < m_lines.size()) {
        m_currentLine = m_lines[m_nextLine++];
        ++m_lineCount;
        if (!LineIsBlank()) break;
    }
    return !(m_nextLine >= m_lines.size() && LineIsBlank());
}

bool TTextFile::LineIsBlank() const {
    return IsBlankText(m_currentLine);
}

bool TTextFile::AtEnd() const {
    if (!m_open) return true;
    return m_nextLine >= m_lines.size() && LineIsBlank();
}

QString TTextFile::GetField(int n) const {
    if (n < 1) return QString();
    return m_fixedColumns ? fixedField(n) : delimitedField(n);
}

void TTextFile::Error(const QString& message) const {
    throw ETextFileError(message);
}

QString TTextFile::fixedField(int n) const {
    // Field n needs its own start and the next field's start.
    if (static_cast<size_t>(n) >= m_columnPositions.size()) return QString();
    const int from = m_columnPositions[n - 1];
    const int to = m_columnPositions[n];
    if (from >= to) Error(QStringLiteral("Invalid fixed column position in index %1").arg(n + 1));
    const int start = std::max(from, 1) - 1;
    if (start >= m_currentLine.size()) return QString();
    return m_currentLine.mid(start, to - 1 - start);
}

QString TTextFile::delimitedField(int n) const {
    const QString& line = m_currentLine;
    const qsizetype len = line.size();
    const bool byBlanks = m_separator.isNull();
    auto isSeparator = [&](QChar c) { return byBlanks ? IsBlankChar(c) : c == m_separator; };
    auto nextSeparator = [&](qsizetype from) {
        while (from < len && !isSeparator(line[from])) ++from;
        return from;
    };

    qsizetype i = 0;
    if (byBlanks) {
        while (i < len && IsBlankChar(line[i])) ++i;
        if (i >= len) return QString();
    }
    for (int field = 1;; ++field) {
        QString value;
        if (!m_quote.isNull() && i < len && line[i] == m_quote) {
            // A quoted field runs to the next quote, separators included; whatever follows the closing
            // quote up to the next separator still belongs to the field.
            qsizetype close = line.indexOf(m_quote, i + 1);
            if (close < 0) close = len;
            value = line.mid(i + 1, close - i - 1);
            i = std::min(close + 1, len);
        }
        const qsizetype end = nextSeparator(i);
        value += line.mid(i, end - i);
        i = end;
        if (field == n) return value;
        if (i >= len) return QString();
        if (byBlanks) {
            while (i < len && IsBlankChar(line[i])) ++i;
            if (i >= len) return QString();
        } else {
            ++i;
        }
    }
}

}  // namespace app
