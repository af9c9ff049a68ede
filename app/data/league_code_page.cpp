#include "app/data/league_code_page.h"

#include <cstdint>
#include <fstream>

#include "app/settings/lang_texts.h"
#include "app/data/kept_tables.h"
#include "app/data/league_access.h"
#include "app/data/league_tables.h"
#include "engine/core/engine.h"
#include "platform/codepage.h"
#include "platform/file.h"

namespace app {

namespace {

constexpr int kCountOffset = 4;
constexpr int kLanguageDriverOffset = 29;

struct Header {
    bool read = false;
    uint32_t count = 0;
    uint8_t driver = 0;
};

// Read past the share modes: the header's first bytes are wanted also while this process holds the
// database for a swap or an import.
Header readHeader(const std::string& path) {
    Header h;
    std::ifstream f(path, std::ios::binary);
    uint8_t bytes[32];
    if (f.read(reinterpret_cast<char*>(bytes), sizeof bytes) && f.gcount() == sizeof bytes) {
        h.read = true;
        h.count = static_cast<uint32_t>(bytes[kCountOffset]) | static_cast<uint32_t>(bytes[kCountOffset + 1]) << 8 |
                  static_cast<uint32_t>(bytes[kCountOffset + 2]) << 16 |
                  static_cast<uint32_t>(bytes[kCountOffset + 3]) << 24;
        h.driver = bytes[kLanguageDriverOffset];
    }
    return h;
}

xb::EngineSettings* settings() {
    xb::Engine* e = xb::Engine::currentOrNull();
    return e ? &e->settings : nullptr;
}

int engineOemPage() {
    const xb::EngineSettings* s = settings();
    return s ? s->oemCodePage : 850;
}

// The Windows page that holds the same letters as an OEM page.
int ansiPartnerOf(int cp) {
    switch (cp) {
        case 852: case 1250: return 1250;
        case 866: case 1251: return 1251;
        default: return 1252;
    }
}

QString codePageName(int cp) {
    return QString::number(cp);
}

}  // namespace

int CodePageNeededBy(int language) {
    return language == kCroatianLanguage ? 852 : 0;
}

int LeagueCodePage() {
    const Header h = readHeader(LeagueFilePath("champion.dbf"));
    if (const int cp = h.read ? xb::platform::CodePageOfLanguageDriver(h.driver) : 0) return cp;
    if (!h.read) {
        // No database yet: the page its tables will be created in.
        const xb::EngineSettings* s = settings();
        if (s && s->newTableCodePage) return s->newTableCodePage;
    }
    return engineOemPage();
}

bool LeagueTablesEmpty() {
    for (const LeagueTable& t : LeagueTables()) {
        const Header h = readHeader(LeagueFilePath(t.file));
        if (h.read && h.count > 0) return false;
    }
    return true;
}

int SettleLeagueCodePage(int language) {
    const int needed = CodePageNeededBy(language);
    if (needed && LeagueCodePage() != needed && LeagueTablesEmpty()) {
        const uint8_t driver = xb::platform::LanguageDriverOf(needed);
        // A kept table would go on with the page its open read.
        ReleaseKeptTables();
        for (const LeagueTable& t : LeagueTables()) {
            xb::platform::File f;
            if (f.open(LeagueFilePath(t.file), xb::platform::kModeReadWrite) != 0) continue;
            f.writeAt(kLanguageDriverOffset, &driver, 1);
            f.close();
        }
    }
    const int cp = LeagueCodePage();
    if (xb::EngineSettings* s = settings()) {
        // A table made again later (a missing file) matches the others.
        s->newTableCodePage = cp;
        s->ansiCodePage = ansiPartnerOf(cp);
    }
    return cp;
}

NewTableCodePage::NewTableCodePage(int codePage) {
    if (xb::EngineSettings* s = settings()) {
        m_previous = s->newTableCodePage;
        s->newTableCodePage = codePage;
    }
}

NewTableCodePage::~NewTableCodePage() {
    if (xb::EngineSettings* s = settings()) s->newTableCodePage = m_previous;
}

QString CodePageNotice(int language) {
    const int needed = CodePageNeededBy(language);
    const int cp = LeagueCodePage();
    if (!needed || cp == needed) return {};
    return LeagueTablesEmpty() ? GetLangText(Text::EmptyDatabaseTakesCodePage).arg(codePageName(needed))
                               : GetLangText(Text::DatabaseKeepsCodePage).arg(codePageName(cp));
}

QString UnstorableCharMessage(char32_t c, int codePage) {
    return GetLangText(Text::CharacterNotStorable).arg(QString::fromUcs4(&c, 1), codePageName(codePage));
}

}  // namespace app
