#include "app/settings/lang_texts.h"

#include <utility>

#include "app/settings/text_file.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace app {

// Generated at build time from resources/lang/texts.tsv.
extern const char kBuiltInTextsSource[];

int LanguageIndex = 1;

namespace {

Tgerelanguage* g_languageManager = nullptr;

struct BuiltInTable {
    QStringList problems;
    std::vector<QString> entries;
    BuiltInTable() : entries(ParseTextTable(kBuiltInTextsSource, &problems)) {}
};

const BuiltInTable& Table() {
    static const BuiltInTable table;
    return table;
}

}  // namespace

std::vector<QString> ParseTextTable(const std::string& source, QStringList* problems) {
    std::vector<QString> entries(static_cast<size_t>(kBuiltInTextCount) * kLanguageCount);
    std::vector<bool> seen(kBuiltInTextCount + 1, false);
    auto report = [&](int lineNo, const QString& what) {
        if (problems) problems->append(QStringLiteral("line %1: %2").arg(lineNo).arg(what));
    };
    const QStringList lines =
        QString::fromUtf8(source.data(), static_cast<qsizetype>(source.size())).split(u'\n');
    for (int i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r')) line.chop(1);
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        const QStringList fields = line.split(u'\t');
        bool ok = false;
        const int n = fields[0].toInt(&ok);
        if (!ok || n < 1 || n > kBuiltInTextCount) {
            report(i + 1, QStringLiteral("text number \"%1\" is not between 1 and %2")
                              .arg(fields[0])
                              .arg(kBuiltInTextCount));
            continue;
        }
        if (fields.size() != kLanguageCount + 2) {
            report(i + 1, QStringLiteral("text %1 has %2 fields instead of %3")
                              .arg(n)
                              .arg(fields.size())
                              .arg(kLanguageCount + 2));
            continue;
        }
        if (seen[n]) {
            report(i + 1, QStringLiteral("text %1 appears twice").arg(n));
            continue;
        }
        seen[n] = true;
        for (int l = 0; l < kLanguageCount; ++l)
            entries[static_cast<size_t>(n - 1) * kLanguageCount + l] = fields[l + 2];
    }
    for (int n = 1; n <= kBuiltInTextCount; ++n) {
        if (!seen[n]) report(0, QStringLiteral("text %1 has no row").arg(n));
    }
    return entries;
}

const std::vector<QString>& BuiltInTextTable() {
    return Table().entries;
}
const QStringList& BuiltInTextTableProblems() {
    return Table().problems;
}

QString BuiltInText(int n, int language) {
    if (n < 1 || n > kBuiltInTextCount || language < 1 || language > kLanguageCount) return QString();
    return BuiltInTextTable()[static_cast<size_t>(n - 1) * kLanguageCount + (language - 1)];
}

QString GetLangText(Text text) {
    const int n = static_cast<int>(text);
    if (g_languageManager && g_languageManager->loaded()) {
        // Language files are written for the first 252 texts; a later text the file lacks would show as
        // an empty message, so the built-in one stands in.
        if (n > kFileTextCount && n > g_languageManager->textCount()) return BuiltInText(n, LanguageIndex);
        return g_languageManager->GetText(n);
    }
    return BuiltInText(n, LanguageIndex);
}

std::string LangText(Text text, const std::vector<std::string>& args) {
    const std::string t = GetLangText(text).toStdString();
    std::string out;
    for (size_t i = 0; i < t.size(); ++i) {
        const size_t n = i + 1 < t.size() && t[i] == '%' ? static_cast<size_t>(t[i + 1] - '1') : args.size();
        if (n < args.size()) {
            out += args[n];
            ++i;
        } else {
            out += t[i];
        }
    }
    return out;
}

void SetLanguageManager(Tgerelanguage* manager) {
    g_languageManager = manager;
}
Tgerelanguage* LanguageManager() {
    return g_languageManager;
}

Tgerelanguage::Tgerelanguage(QString fileName) : m_fileName(std::move(fileName)) {}

void Tgerelanguage::clear() {
    for (QString& text : m_texts) text.clear();
    m_textCount = 0;
    m_languageName.clear();
    m_secondHeaderText.clear();
    m_headerNumber = 1;
}

bool Tgerelanguage::Load() {
    clear();
    m_loaded = false;
    m_tooLargeSize = 0;
    std::string path;
    {
        // The name in whatever case, and whether it is a file: one listing of the folder answers both.
        xb::platform::NameLookupScope names;
        path = xb::platform::ResolveCase(m_fileName.toStdString());
        if (!xb::platform::FileExists(path)) return false;
    }

    bool result = false;
    try {
        TTextFile reader(u';');
        reader.setMaxBytes(kMaxFileBytes);
        try {
            reader.SetFileName(QString::fromStdString(path));
        } catch (const ETextFileError&) {
            m_tooLargeSize = reader.tooLargeSize();
            throw;
        }
        m_languageName = reader.GetField(2);
        reader.ReadLine();
        m_secondHeaderText = reader.GetField(2);
        reader.ReadLine();
        bool ok = false;
        const int number = reader.GetField(2).toInt(&ok);
        m_headerNumber = ok ? number : 1;
        for (int i = 0; i < 8; ++i) reader.ReadLine();

        // Lines past the manager's capacity are ignored: no window asks for them.
        while (!reader.AtEnd() && m_textCount < kMaxTexts) {
            const QString second = reader.GetField(2);
            m_texts[m_textCount++] = second.trimmed().isEmpty() ? reader.GetField(1) : second;
            reader.ReadLine();
        }
        // A file without a single text line would blank every window: it does not count as loaded.
        result = m_textCount > 0;
    } catch (const ETextFileError&) {
        result = false;
    }
    if (!result) clear();
    m_loaded = result;
    return result;
}

QString Tgerelanguage::refusal() const {
    if (m_tooLargeSize == 0) return QString();
    return GetLangText(Text::LanguageFileTooLarge).arg(m_fileName).arg(m_tooLargeSize).arg(kMaxFileBytes);
}

QString Tgerelanguage::GetText(int n) const {
    if (n < 1 || n > m_textCount) return QString();
    return m_texts[n - 1];
}

}  // namespace app
