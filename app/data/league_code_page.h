// The code page the league's tables keep their text in. Each table records it in its header; a new
// database takes the locale's OEM page unless the session's language needs another one, and an empty
// database takes the page of the language it is first used in. A database holding rows keeps its page.
#pragma once

#include <QString>

namespace app {

inline constexpr int kCroatianLanguage = 6;

// The code page a language's letters need (Croatian: 852), or 0 when the locale's page will do.
int CodePageNeededBy(int language);

// The code page the league tables hold their text in: the one champion.dbf records, else the engine's
// OEM page (a table that records none is read in it).
int LeagueCodePage();

// True when none of the nine tables holds a row (deleted rows not yet packed count as rows).
bool LeagueTablesEmpty();

// At the start of a session in `language`, the tables closed: empty tables are stamped with the page the
// language needs; tables created later record it too; the engine's ANSI page becomes the one that goes
// with the league's page, so that case folding and searches know its letters. Answers the league's page.
int SettleLeagueCodePage(int language);

// Tables created while it lives (a staging folder's) record and are written in codePage.
class NewTableCodePage {
public:
    explicit NewTableCodePage(int codePage);
    ~NewTableCodePage();
    NewTableCodePage(const NewTableCodePage&) = delete;
    NewTableCodePage& operator=(const NewTableCodePage&) = delete;

private:
    int m_previous = 0;
};

// What the parameters window says when the language becomes `language`: empty when the database can
// write its letters, else which code page the database keeps (or takes at the next start).
QString CodePageNotice(int language);

// The message for a character `c` that the database's code page `codePage` cannot hold.
QString UnstorableCharMessage(char32_t c, int codePage);

}  // namespace app
