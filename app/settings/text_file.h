// A line-by-line reader of small text files: skips blank lines and cuts the current line into fields,
// either delimited (a separator character, or runs of blanks and tabs) or by fixed column positions.
//
// The whole file is decoded when it is opened: as UTF-8 when its bytes are valid UTF-8 (a leading
// byte-order mark is dropped), otherwise as Windows-1252, so files saved by older editors still read.
// Lines end with LF or CR LF.
#pragma once

#include <QChar>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace app {

// The reader's failure: no open file, an unreadable file, or an invalid column layout.
class ETextFileError : public std::runtime_error {
public:
    explicit ETextFileError(const QString& message);
    QString message() const { return m_message; }

private:
    QString m_message;
};

class TTextFile {
public:
    // separator: the field separator, QChar() for runs of blanks and tabs; quote: QChar() for none.
    explicit TTextFile(QChar separator = QChar(), QChar quote = QChar());

    // A different name closes the open file, stores the name and, when not empty, opens the file and
    // reads its first non-blank line. The same name again does nothing. Throws ETextFileError when the
    // file cannot be read.
    void SetFileName(const QString& fileName);
    void Close();
    // Reads the file again from its start: line count 0, then the first non-blank line.
    void Open();
    // Reads lines until one is not blank or the file ends; false when the file ended on a blank line.
    // Throws ETextFileError when no file is open.
    bool ReadLine();
    // True when the current line holds only blanks and tabs (an empty line too).
    bool LineIsBlank() const;
    // True when every line has been read and the current line is blank; true when no file is open.
    bool AtEnd() const;
    // Field n (from 1) of the current line; the empty text for a field beyond the last.
    QString GetField(int n) const;
    [[noreturn]] void Error(const QString& message) const;

    const QString& currentLine() const { return m_currentLine; }
    int lineCount() const { return m_lineCount; }
    const QString& fileName() const { return m_fileName; }
    bool isOpen() const { return m_open; }

    void setSeparator(QChar separator) { m_separator = separator; }
    void setQuote(QChar quote) { m_quote = quote; }
    // Fixed-column mode: field n spans from column positions[n-1] up to, not including, positions[n]
    // (columns counted from 1).
    void setFixedColumns(bool fixed) { m_fixedColumns = fixed; }
    // The largest file Open reads (0: no bound); a larger one is refused, unread, with ETextFileError
    // and its size in tooLargeSize().
    void setMaxBytes(uint64_t bytes) { m_maxBytes = bytes; }
    uint64_t tooLargeSize() const { return m_tooLargeSize; }
    void setColumnPositions(std::vector<int> positions) { m_columnPositions = std::move(positions); }

    // The decoding rule of the reader, for callers that hold bytes already.
    static QString DecodeText(const std::string& bytes);

private:
    QString fixedField(int n) const;
    QString delimitedField(int n) const;

    QStringList m_lines;
    int m_nextLine = 0;
    QString m_currentLine;
    int m_lineCount = 0;
    QString m_fileName;
    bool m_open = false;
    bool m_fixedColumns = false;
    QChar m_separator;
    QChar m_quote;
    std::vector<int> m_columnPositions;
    uint64_t m_maxBytes = 0;
    uint64_t m_tooLargeSize = 0;
};

}  // namespace app
