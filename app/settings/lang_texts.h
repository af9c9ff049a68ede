// The interface texts: every caption, hint and message a window shows is looked up by its name (Text::...,
// generated from resources/lang/texts.tsv), which stands for its number. They come from the table built into
// the program (eight languages) or, when the program directory holds a language file, from that file for
// every number it has and whatever the current language.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/settings/lang_text_ids.h"

namespace app {

// The current language: 1 French, 2 English, 3 Portuguese, 4 Spanish, 5 Italian, 6 Croatian,
// 7 Swedish, 8 Danish. Windows read it when they take their texts.
extern int LanguageIndex;

inline constexpr int kLanguageCount = 8;
// The texts a language file provides; texts above it come from the built-in table when the file lacks them.
inline constexpr int kFileTextCount = 252;
inline constexpr const char* kLanguageFileName = "pelmorad.lg";

class Tgerelanguage;

// A text in the current language: the loaded language file's text of that number when a file is loaded (for
// a number above kFileTextCount that the file lacks, the built-in entry), else the built-in entry; the empty
// text for Text::None, a number outside the table or a language without a text. Never fails.
QString GetLangText(Text text);
// The text in the current language as UTF-8 with %1, %2, ... replaced by args in one pass, so that an
// argument (a file name holding "%2") is never read as a place for the next one.
std::string LangText(Text text, const std::vector<std::string>& args = {});
// The built-in entry for text number n in language (1..8); empty outside the table.
QString BuiltInText(int n, int language);
inline QString BuiltInText(Text text, int language) {
    return BuiltInText(static_cast<int>(text), language);
}

// The language manager GetLangText consults; nullptr (the default) means the built-in table only.
// The caller keeps ownership.
void SetLanguageManager(Tgerelanguage* manager);
Tgerelanguage* LanguageManager();

// Parses the built-in table's source: one row per text number, the number, the text's name, then one field
// per language, separated by tabs; '#' lines and empty lines are skipped. Returns the entries row after
// row (text n in language l at (n - 1) * 8 + l - 1); rows that cannot be placed are reported in problems.
std::vector<QString> ParseTextTable(const std::string& source, QStringList* problems);
// The table compiled into the program, and what parsing it reported (nothing, for a sound build).
const std::vector<QString>& BuiltInTextTable();
const QStringList& BuiltInTextTableProblems();

// Loads and holds a language file. Format (docs/language-file.md): lines of "number;text", the first
// three non-blank lines a header (language name, a second text, a number), the eleventh non-blank line
// text 1, each further non-blank line the next text.
class Tgerelanguage {
public:
    // Room for every text of the built-in table, so that a file can give each of them.
    static constexpr int kMaxTexts = 500;
    // A real language file is tens of kilobytes; a larger one than this is refused unread.
    static constexpr uint64_t kMaxFileBytes = uint64_t(4) << 20;

    explicit Tgerelanguage(QString fileName);

    // Reads the file in one pass; true when it exists, is readable, is at most kMaxFileBytes and holds at
    // least one text line. A failure leaves every text empty and loaded() false.
    bool Load();
    // Why the last Load refused an existing file, in the current language (a file too large); empty
    // when it loaded or there was no file.
    QString refusal() const;
    // Text n of the file, or the empty text.
    QString GetText(int n) const;

    bool loaded() const { return m_loaded; }
    const QString& fileName() const { return m_fileName; }
    const QString& languageName() const { return m_languageName; }
    const QString& secondHeaderText() const { return m_secondHeaderText; }
    int headerNumber() const { return m_headerNumber; }
    // How many text lines the file gave (at most kMaxTexts).
    int textCount() const { return m_textCount; }

private:
    void clear();

    QString m_fileName;
    bool m_loaded = false;
    std::array<QString, kMaxTexts> m_texts;
    int m_textCount = 0;
    QString m_languageName;
    QString m_secondHeaderText;
    int m_headerNumber = 1;
    uint64_t m_tooLargeSize = 0;
};

}  // namespace app
