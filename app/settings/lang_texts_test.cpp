// The built-in language table and the language file manager.
#include "app/settings/lang_texts.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/paths.h"
#include "tests/support/fixtures.h"
#include "tests/support/run_command.h"

namespace app {
namespace {

// Restores the global language state each test touches.
class LangTextsTest : public ::testing::Test {
protected:
    ~LangTextsTest() override {
        LanguageIndex = 1;
        SetLanguageManager(nullptr);
        xb::platform::ClearFaults();
    }
    xbtest::TempDir tmp;
};

struct GivenText {
    int number;
    int language;
    const char* text;
};

// Texts fixed before this table was written: the complete rows 14, 129 and 144, the English text of
// every row (French for the version notice), and the French texts windows are known to show.
const GivenText kGivenTexts[] = {
    {1, 1, "Le joueur est present dans les 2 equipes"},
    {1, 2, "The player is on the two teams"},
    {2, 1, "Choisissez l équipe"},
    {2, 2, "Choose the team"},
    {3, 2, "Enter the name of the file that will be create"},
    {4, 2, "Continue ?"},
    {5, 2, "This File exists!!"},
    {8, 2, "This operation will erase all the current datas"},
    {9, 2, "Please confirm"},
    {10, 2, "Select the backup file"},
    {11, 2, "Enter/Modify Match"},
    {12, 1, "Championnat"},
    {12, 2, "League"},
    {13, 1, "Année"},
    {13, 2, "Year"},
    {14, 1, "Journée"},
    {14, 2, "Week"},
    {14, 3, "Jornada"},
    {14, 4, "Jornada"},
    {14, 5, "Giornata"},
    {14, 6, "Kolo"},
    {14, 7, "Vecka"},
    {14, 8, "Uge"},
    {15, 2, "Match characteristics"},
    {16, 1, "Joueur"},
    {16, 2, "Player"},
    {17, 2, "ok"},
    {18, 2, "Victory for team"},
    {19, 2, "draw"},
    {20, 2, "If other"},
    {21, 2, "Other"},
    {22, 2, "add"},
    {23, 2, "Del"},
    {24, 2, "Forfait"},
    {25, 2, "Minute"},
    {26, 2, "Validate match"},
    {27, 2, "Cancel"},
    {28, 1, "Type"},
    {28, 2, "Type"},
    {29, 2, "TE"},
    {30, 1, "Validation impossible"},
    {30, 2, "unable to validate"},
    {31, 1, "Les équipes sont incorrectes"},
    {31, 2, "The teams are not correct"},
    {32, 1, "Erreur au niveau des buts saisis"},
    {32, 2, "The score is not correct"},
    {33, 1, "Jaune"},
    {33, 2, "Yellow"},
    {34, 1, "Rouge"},
    {34, 2, "Red"},
    {35, 2, "Name"},
    {36, 2, "Cancel the modif/create operation"},
    {37, 2, "New"},
    {38, 2, "Create a new player"},
    {39, 2, "Help"},
    {40, 2, "Delete the current player"},
    {41, 2, "Go to the first"},
    {42, 2, "Go to previous"},
    {43, 2, "Go to next"},
    {44, 2, "Go to the last"},
    {45, 2, "Close this window"},
    {46, 1, "Quitter"},
    {46, 2, "Quit"},
    {47, 2, "View help"},
    {48, 1, "GOAL"},
    {48, 2, "GOALKEEPER"},
    {49, 1, "DEFENSEUR"},
    {49, 2, "DEFENSER"},
    {50, 1, "MILIEU"},
    {50, 2, "MIDFIELD"},
    {51, 1, "ATTAQUANT"},
    {51, 2, "ATTACK"},
    {52, 1, "Suppression"},
    {52, 2, "Delete"},
    {53, 1, "Veuillez confirmer"},
    {53, 2, "Please confirm"},
    {54, 2, "Yes No"},
    {55, 2, "All datas relatives to this player will be destroy"},
    {56, 2, "birth date"},
    {57, 2, "Country"},
    {58, 2, "Position"},
    {59, 2, "Divers"},
    {60, 2, "SCORERS"},
    {61, 2, "CARDS"},
    {62, 1, "Min."},
    {62, 2, "Min."},
    {63, 2, "Enter the name of the backup file"},
    {64, 1, "Joueurs"},
    {64, 2, "Players"},
    {65, 2, "View helpfile"},
    {67, 2, "Go on the web site"},
    {68, 2, "Update the database"},
    {69, 2, "Stop the operation"},
    {71, 1, "Normal"},
    {71, 2, "Normal"},
    {72, 1, "Penalty"},
    {72, 2, "Penalty"},
    {73, 1, "CSC"},
    {73, 2, "Own Goal"},
    {74, 1, "Droite"},
    {74, 2, "Right"},
    {75, 1, "Gauche"},
    {75, 2, "Left"},
    {76, 1, "Coup Franc"},
    {76, 2, "Free Kick"},
    {79, 1, "Fermer cet écran"},
    {79, 2, "Close this window"},
    {80, 1, "Imp"},
    {80, 2, "Print"},
    {81, 2, "Send to printer"},
    {82, 1, "Afficher"},
    {82, 2, "View"},
    {83, 2, "View the week"},
    {84, 2, "Export to html file"},
    {85, 2, "Modify current match"},
    {86, 2, "Del"},
    {87, 2, "Delete selected match"},
    {88, 2, "Results"},
    {89, 2, "New"},
    {90, 2, "Add new match"},
    {91, 2, "View the table"},
    {92, 2, "Print the table on printer"},
    {93, 2, "TABLE"},
    {94, 2, "First week"},
    {95, 2, "Last week"},
    {96, 1, "TOUS MATCHS"},
    {96, 2, "ALL MATCHES"},
    {97, 1, "DOMICILE"},
    {97, 2, "HOME"},
    {98, 1, "EXTERIEUR"},
    {98, 2, "AWAY"},
    {99, 2, "NORMAL"},
    {100, 2, "ATTACK"},
    {101, 2, "DEFENCE"},
    {102, 1, "VICTOIRES"},
    {102, 2, "WIN"},
    {103, 1, "NULS"},
    {103, 2, "DRAW"},
    {104, 1, "DEFAITES"},
    {104, 2, "DEFEAT"},
    {105, 1, "General"},
    {105, 2, "General"},
    {106, 1, "Domicile"},
    {106, 2, "Home"},
    {107, 1, "Exterieur"},
    {107, 2, "Away"},
    {108, 1, "INFORMATIONS EQUIPES"},
    {108, 2, "TEAM INFORMATIONS"},
    {109, 1, "Buts"},
    {109, 2, "Goals"},
    {110, 1, "Suppression du match sélectionné"},
    {110, 2, "delete selected match"},
    {111, 1, "Buteurs"},
    {111, 2, "Scorers"},
    {112, 2, "Parameters"},
    {113, 1, "Equipes"},
    {113, 2, "Teams"},
    {114, 2, "Add"},
    {115, 2, "Add a team to this league this season"},
    {116, 2, "Del"},
    {117, 2, "Delete the team to this league this season"},
    {118, 2, "Modify league characteristics"},
    {119, 2, "Delete current league"},
    {120, 2, "Number of Teams"},
    {121, 2, "Number of round on the year"},
    {122, 2, "Punctuation"},
    {123, 2, "Win"},
    {124, 1, "Nuls"},
    {124, 2, "Draw"},
    {125, 2, "Lost"},
    {126, 2, "win by forfait"},
    {127, 2, "lost by forfait"},
    {128, 2, "Create new league"},
    {129, 1, "POS"},
    {129, 2, "POS"},
    {129, 3, "POS"},
    {129, 4, "POS"},
    {129, 5, "POS"},
    {129, 6, "POZ"},
    {129, 7, "POS"},
    {129, 8, "POS"},
    {130, 2, "PTS"},
    {131, 2, "P"},
    {132, 1, "G"},
    {132, 2, "W"},
    {133, 1, "N"},
    {133, 2, "D"},
    {134, 1, "P"},
    {134, 2, "L"},
    {135, 1, "BP"},
    {135, 2, "GF"},
    {136, 1, "BC"},
    {136, 2, "GA"},
    {137, 2, "DIFF"},
    {138, 2, " to "},
    {139, 1, "Equipe"},
    {139, 2, "Team"},
    {140, 1, "Informations Equipe"},
    {140, 2, "Team Info"},
    {141, 1, "Evolution de l'équipe dans le championnat"},
    {141, 2, "Team evolution on league"},
    {142, 1, "Buts marqués / encaissés"},
    {142, 2, "goals for/ against"},
    {143, 1, "Matchs"},
    {143, 2, "Matchs"},
    {144, 1, "Page générée avec"},
    {144, 2, "Page created with"},
    {144, 3, "Página criada com"},
    {144, 4, "Página creada con"},
    {144, 5, "Page created with"},
    {144, 6, "Stranica kreirana s"},
    {144, 7, "Sidan skapad med"},
    {144, 8, "Siden lavet med"},
    {145, 2, "SCORERS"},
    {146, 2, "Players management"},
    {147, 2, "Update database of results via internet"},
    {148, 2, "Forecast"},
    {149, 2, "Backup database"},
    {150, 2, "Restore database"},
    {151, 2, "Make forecast for next round"},
    {152, 2, "Leagues"},
    {153, 2, "Manage leagues"},
    {154, 2, "Teams management"},
    {155, 2, "Results"},
    {156, 2, "add modify results"},
    {157, 2, "Table"},
    {158, 2, "View Tables"},
    {159, 2, "View round results"},
    {160, 2, "About"},
    {161, 1, "Matchs/equipes"},
    {161, 2, "Matchs/Teams"},
    {162, 1, "Type"},
    {162, 2, "Type"},
    {163, 1, "contre"},
    {163, 2, "against"},
    {164, 1, "PAS DE DEFAITE"},
    {164, 2, "NO DEFEAT"},
    {165, 1, "PAS DE VICTOIRE"},
    {165, 2, "NO VICTORY"},
    {166, 1, "Matchs"},
    {166, 2, "Matchs"},
    {167, 1, "Jou"},
    {167, 2, "Week"},
    {168, 1, "PLUS GRANDE VICTOIRE"},
    {168, 2, "MOST IMPORTANT VICTORY"},
    {169, 1, "PLUS GRANDE DEFAITE"},
    {169, 2, "MOST IMPORTANT DEFEAT"},
    {170, 2, "View matches"},
    {171, 2, "Delete current team"},
    {172, 2, "Create new team"},
    {173, 1, "L équipe existe déjà"},
    {173, 2, "The team already exists"},
    {174, 2, "View matchs of one team"},
    {175, 2, "Team Info"},
    {176, 2, "View team informations/statistics"},
    {177, 1, "Face à face"},
    {177, 2, "Head to head"},
    {178, 2, "View head to head between two teams in all the database"},
    {179, 2, "Table results"},
    {180, 2, "View the table of the results for a league"},
    {181, 2, "Databases"},
    {182, 2, "View"},
    {183, 2, "League Statistics"},
    {184, 2, "Divers"},
    {185, 1, "Le joueur existe déjà"},
    {185, 2, "The player already exists"},
    {215, 2, "html code to insert in top of the html page"},
    {216, 2, "html code to insert in bottom of the html page"},
    {217, 2, "General"},
    {218, 2, "Html Exportation"},
    {219, 2, "Parameters"},
    {220, 2, "Language"},
    {221, 2, "Clear the draw column on tables (basket)"},
    {222, 2, "Lib gf"},
    {223, 2, "Lib ga"},
    {224, 2, "Run the web browser"},
    {225, 2, "ROUND'S RESULTS"},
    {226, 2, "This operation will erase all the current datas"},
    {227, 2, "Confirm"},
    {228, 2, "Operation finished"},
    {229, 2, "All is ok"},
    {230, 2, "Update the database"},
    {231, 2, "The internet connexion should be active"},
    {232, 2, "Update database via internet"},
    {233, 1, "BD"},
    {233, 2, "GH"},
    {234, 1, "BE"},
    {234, 2, "GA"},
    {235, 1, "V dom"},
    {235, 2, "V Home"},
    {236, 1, "V ext"},
    {236, 2, "V Away"},
    {237, 2, "General statistics"},
    {242, 1, "GRILLE DE RESULTATS"},
    {242, 2, "TABLE OF RESULTS"},
    {243, 2, "Forecast's type"},
    {244, 1, "Tous les matchs"},
    {244, 2, "All head to head"},
    {245, 1, "Même configuration"},
    {245, 2, "Head to head on same configuration"},
    {248, 1, "Sur l'ensemble des matchs"},
    {248, 2, "On all the rounds of the year"},
    {249, 1, "Rencontres passées"},
    {249, 2, "Head to Head"},
    {250, 1, "Matchs année + rencontres passées"},
    {250, 2, "round's year + head to head"},
    {251, 1, "Nouvelle version"},
    {252, 1, "Une nouvelle version est disponible... Veuillez nous contacter à "},
};

const char* const kLanguageNames[] = {"French",  "English",  "Portuguese", "Spanish",
                                      "Italian", "Croatian", "Swedish",    "Danish"};

TEST_F(LangTextsTest, BuiltInTableParsesCleanlyIntoEveryNumberAndLanguage) {
    EXPECT_TRUE(BuiltInTextTableProblems().isEmpty()) << BuiltInTextTableProblems().join(u'\n').toStdString();
    EXPECT_EQ(BuiltInTextTable().size(), static_cast<size_t>(kBuiltInTextCount) * 8u);
}

TEST_F(LangTextsTest, GivenTextsAreKeptVerbatim) {
    for (const GivenText& g : kGivenTexts) {
        EXPECT_EQ(BuiltInText(g.number, g.language).toStdString(), g.text)
            << "text " << g.number << " in " << kLanguageNames[g.language - 1];
    }
}

TEST_F(LangTextsTest, NewVersionNoticeLeavesRoomForTheContactAddress) {
    for (int l = 1; l <= kLanguageCount; ++l) {
        const QString notice = BuiltInText(Text::NewVersionAvailable, l);
        EXPECT_TRUE(notice.endsWith(u' ') && !notice.endsWith(QStringLiteral("  "))) << kLanguageNames[l - 1];
        EXPECT_FALSE(BuiltInText(Text::NewVersion, l).isEmpty()) << kLanguageNames[l - 1];
    }
}

TEST_F(LangTextsTest, TextsKeepTheirOwnLetters) {
    // The table is UTF-8 end to end: Croatian keeps č ć đ š ž, the others their accents.
    QString croatian, swedish, portuguese;
    for (int n = 1; n <= kBuiltInTextCount; ++n) {
        croatian += BuiltInText(n, 6);
        swedish += BuiltInText(n, 7);
        portuguese += BuiltInText(n, 3);
    }
    for (QChar c : QStringLiteral("čćđšžČŽ")) EXPECT_TRUE(croatian.contains(c)) << QString(c).toStdString();
    for (QChar c : QStringLiteral("åäö")) EXPECT_TRUE(swedish.contains(c)) << QString(c).toStdString();
    for (QChar c : QStringLiteral("ãçõé")) EXPECT_TRUE(portuguese.contains(c)) << QString(c).toStdString();
    EXPECT_EQ(BuiltInText(Text::TeamInformationTitle, 6), QStringLiteral("PODACI O MOMČADI"));
}

TEST_F(LangTextsTest, GetLangTextFollowsTheCurrentLanguageAndNeverFails) {
    struct Case {
        int language;
        int number;
        const char* expected;
    };
    const Case cases[] = {
        {1, 14, "Journée"}, {2, 14, "Week"},
        {6, 129, "POZ"},    {8, 144, "Siden lavet med"},
        {1, 0, ""},         {1, kBuiltInTextCount + 1, ""},
        {1, -1, ""},        {9, 14, ""},
        {0, 14, ""},        {-3, 14, ""},
        {1, 6, ""},         {2, 251, "New version"},
    };
    for (const Case& c : cases) {
        LanguageIndex = c.language;
        EXPECT_EQ(GetLangText(static_cast<Text>(c.number)).toStdString(), c.expected)
            << "language " << c.language << " text " << c.number;
    }
    // Arguments go in one pass: a name holding "%2" is not read as the place of the next argument.
    LanguageIndex = 2;
    EXPECT_EQ(LangText(Text::CannotReadFileError, {"a%2b%1.dbf", "13"}),
              "Cannot read file a%2b%1.dbf (error 13)");
    LanguageIndex = 6;
    EXPECT_EQ(LangText(Text::IndexBusy, {}), "%1: indeks je zauzet");
}

TEST_F(LangTextsTest, ParserReportsRowsItCannotPlaceAndKeepsTheRest) {
    const std::string source =
        "# comment\n"
        "\n"
        "1\tOne\tun\tone\tum\tuno\tuno\tjedan\tett\ten\r\n"
        "2\tToo\ttoo\tfew\n"
        "1\tAgain\tagain\ta\tb\tc\td\te\tf\tg\n"
        "999\tBeyond\ta\tb\tc\td\te\tf\tg\th\n"
        "x\tX\ta\tb\tc\td\te\tf\tg\th\n"
        "3\t\t\t\t\t\t\t\t\t \n";
    QStringList problems;
    const std::vector<QString> entries = ParseTextTable(source, &problems);
    ASSERT_EQ(entries.size(), static_cast<size_t>(kBuiltInTextCount) * 8u);
    EXPECT_EQ(entries[0], QStringLiteral("un"));
    EXPECT_EQ(entries[7], QStringLiteral("en"));  // the CR of a CR LF line end is not part of the text
    EXPECT_EQ(entries[8], QString());
    EXPECT_EQ(entries[2 * 8 + 7], QStringLiteral(" "));
    const QString all = problems.join(u'\n');
    for (const char* expected :
         {"line 4: text 2 has 4 fields", "line 5: text 1 appears twice", "line 6: text number \"999\"",
          "line 7: text number \"x\"", "text 2 has no row"}) {
        EXPECT_TRUE(all.contains(QString::fromUtf8(expected))) << expected << "\n" << all.toStdString();
    }
    EXPECT_TRUE(all.contains(QStringLiteral("text %1 has no row").arg(kBuiltInTextCount)));
    EXPECT_FALSE(all.contains(QStringLiteral("text 3 has no row")));
}

// The build refuses a table row it cannot name or that lacks a language, saying which line; a sound new row
// at the end becomes a name with the next number.
TEST_F(LangTextsTest, GeneratorNamesEveryTextAndRefusesRowsItCannotUse) {
    const std::string head =
        "# comment\n"
        "1\tFirst\tun\tone\tum\tuno\tuno\tjedan\tett\ten\n"
        "2\t\t\t\t\t\t\t\t\t\n";
    const std::string eight = "\ta\tb\tc\td\te\tf\tg\th\n";
    struct Case {
        const char* what;
        std::string row;       // appended after the head
        const char* expected;  // in the failure; empty: the row is accepted
    };
    const Case cases[] = {
        {"a new row", "3\tNewText" + eight, ""},
        {"a row in the old format", "3" + eight, "tsv:4: text 3 has 9 fields; a row is the number, a name and eight texts"},
        {"a gap in the numbers", "4\tNewText" + eight, "tsv:4: text number \"4\" where 3 comes next"},
        {"a number taken", "2\tNewText" + eight, "where 3 comes next"},
        {"a language missing", "3\tNewText\ta\tb\tc\td\te\t\tg\th\n", "NewText is missing in 1 of the eight"},
        {"a text without a name", "3\t" + eight, "tsv:4: text 3 has no name"},
        {"a name taken", "3\tFirst" + eight, "the name First is taken"},
        {"a name that is no identifier", "3\tnew text" + eight, "\"new text\" is not a text name"},
        {"a semicolon and brackets in a text", "3\tNewText\ta;b\t[c]\t\"d\"\td\te\tf\tg\th\n", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string table = tmp.file("texts.tsv"), header = tmp.file("ids.h");
        xbtest::WriteFileBytes(table, head + c.row);
        std::remove(header.c_str());
        int status = 0;
        std::string out =
            xbtest::RunCommand(xbtest::ShellQuote(LM_CMAKE) + " -DTEXTS=" + xbtest::ShellQuote(table) +
                                   " -DOUT_CPP=" + xbtest::ShellQuote(tmp.file("data.cpp")) +
                                   " -DOUT_HEADER=" + xbtest::ShellQuote(header) + " -P " +
                                   xbtest::ShellQuote(LM_TEXTS_GENERATOR) + " 2>&1",
                               &status);
        // CMake wraps its messages: compare with every run of blanks as one space.
        out = QString::fromStdString(out).simplified().toStdString();
        if (*c.expected) {
            EXPECT_NE(status, 0);
            EXPECT_NE(out.find(c.expected), std::string::npos) << out;
            EXPECT_FALSE(xb::platform::FileExists(header));
        } else {
            EXPECT_EQ(status, 0) << out;
            const std::string ids = xbtest::ReadFileBytes(header);
            EXPECT_NE(ids.find("First = 1,"), std::string::npos) << ids;
            EXPECT_NE(ids.find("NewText = 3,"), std::string::npos) << ids;
            EXPECT_NE(ids.find("kBuiltInTextCount = 3;"), std::string::npos) << ids;
        }
    }
}

// ---- The language file ----

std::string LanguageFile(const std::vector<std::string>& textLines,
                         const std::string& header = "LANGUE;Deutsch\nAUTEUR;Someone\nVERSION;3\n") {
    std::string out = header;
    for (int i = 0; i < 7; ++i) out += "RESERVE;" + std::to_string(i) + "\n";
    for (const std::string& line : textLines) out += line + "\n";
    return out;
}

TEST_F(LangTextsTest, LoadedFileReplacesTheTableWhateverTheLanguage) {
    xbtest::WriteFileBytes(tmp.file(kLanguageFileName),
                           LanguageFile({"1;Spieler", "2;Mannschaft", "3;Woche"}));
    Tgerelanguage manager(QString::fromStdString(tmp.file(kLanguageFileName)));
    ASSERT_TRUE(manager.Load());
    SetLanguageManager(&manager);
    for (int language : {1, 2, 6, 9}) {
        LanguageIndex = language;
        EXPECT_EQ(GetLangText(Text::PlayerOnBothTeams), QStringLiteral("Spieler"));
        EXPECT_EQ(GetLangText(Text::EnterNewFileName), QStringLiteral("Woche"));
        EXPECT_EQ(GetLangText(Text::ContinueQuestion), QString()) << "beyond the file's last text line";
        EXPECT_EQ(GetLangText(Text::Matchday), QString()) << "the built-in table is not consulted";
        EXPECT_EQ(GetLangText(Text::None), QString());
        // Texts added after the file's format was fixed come from the table when the file lacks them.
        EXPECT_EQ(GetLangText(Text::NotACompleteDatabase), BuiltInText(Text::NotACompleteDatabase, language))
            << language;
        EXPECT_EQ(GetLangText(static_cast<Text>(kBuiltInTextCount + 1)), QString());
    }
    EXPECT_EQ(manager.languageName(), QStringLiteral("Deutsch"));
    EXPECT_EQ(manager.secondHeaderText(), QStringLiteral("Someone"));
    EXPECT_EQ(manager.headerNumber(), 3);
}

TEST_F(LangTextsTest, TextLinesTakeFieldTwoElseFieldOne) {
    struct Case {
        const char* line;
        const char* expected;
    };
    const Case cases[] = {
        {"12;Liga", "Liga"},
        {"12; Liga ", " Liga "},  // stored untrimmed
        {"12;", "12"},            // empty field 2 gives field 1
        {"Liga; \t ", "Liga"},    // blank field 2 too
        {"Ganze Zeile ohne Trenner", "Ganze Zeile ohne Trenner"},
        {"12;Liga;Rest", "Liga"},
        {";Liga", "Liga"},
        {" ;", " "},  // a line of blanks with a separator is not blank
    };
    std::vector<std::string> lines;
    for (const Case& c : cases) lines.push_back(c.line);
    xbtest::WriteFileBytes(tmp.file("f.lg"), LanguageFile(lines));
    Tgerelanguage manager(QString::fromStdString(tmp.file("f.lg")));
    ASSERT_TRUE(manager.Load());
    ASSERT_EQ(manager.textCount(), static_cast<int>(std::size(cases)));
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(manager.GetText(static_cast<int>(i) + 1).toStdString(), cases[i].expected) << cases[i].line;
    }
}

TEST_F(LangTextsTest, BlankLinesAnywhereAreSkipped) {
    const std::string content =
        "\r\n  \r\nLANGUE;Deutsch\r\n\t\r\nAUTEUR;x\r\nVERSION;7\r\n\r\n"
        "a;1\r\nb;2\r\n\r\nc;3\r\nd;4\r\ne;5\r\nf;6\r\ng;7\r\n"
        "\r\n1;Erster\r\n   \r\n\r\n2;Zweiter\r\n\t \r\n";
    xbtest::WriteFileBytes(tmp.file("f.lg"), content);
    Tgerelanguage manager(QString::fromStdString(tmp.file("f.lg")));
    ASSERT_TRUE(manager.Load());
    EXPECT_EQ(manager.headerNumber(), 7);
    EXPECT_EQ(manager.textCount(), 2);
    EXPECT_EQ(manager.GetText(1), QStringLiteral("Erster"));
    EXPECT_EQ(manager.GetText(2), QStringLiteral("Zweiter"));
}

TEST_F(LangTextsTest, HeaderNumberIsOneWhenNotANumber) {
    for (const char* third : {"VERSION;drei", "VERSION;", "VERSION", "VERSION;3x", "VERSION;99999999999"}) {
        xbtest::WriteFileBytes(tmp.file("f.lg"),
                               LanguageFile({"1;Text"}, std::string("L;Deutsch\nA;x\n") + third + "\n"));
        Tgerelanguage manager(QString::fromStdString(tmp.file("f.lg")));
        EXPECT_TRUE(manager.Load()) << third;
        EXPECT_EQ(manager.headerNumber(), 1) << third;
        EXPECT_EQ(manager.GetText(1), QStringLiteral("Text")) << third;
    }
}

TEST_F(LangTextsTest, FileEncodingIsUtf8WhenValidElseWindows1252) {
    struct Case {
        const char* name;
        std::string bytes;
        const char* expected;
    };
    const Case cases[] = {
        {"utf-8",
         "1;Journ\xC3\xA9"
         "e momčadi",
         "Journée momčadi"},
        {"windows-1252",
         "1;Journ\xE9"
         "e \x80 \x9E",
         "Journée € ž"},
    };
    for (const Case& c : cases) {
        xbtest::WriteFileBytes(tmp.file("f.lg"), LanguageFile({c.bytes}));
        Tgerelanguage manager(QString::fromStdString(tmp.file("f.lg")));
        ASSERT_TRUE(manager.Load()) << c.name;
        EXPECT_EQ(manager.GetText(1).toStdString(), c.expected) << c.name;
    }
}

TEST_F(LangTextsTest, FilesThatGiveNoTextsAreNotLoaded) {
    struct Case {
        const char* name;
        std::string content;  // empty name: no file at all
        bool exists;
    };
    const Case cases[] = {
        {"missing file", "", false},
        {"empty file", "", true},
        {"blank lines only", "\n \n\t\n", true},
        {"header without text lines", LanguageFile({}), true},
        {"header and blank lines", LanguageFile({"", "  ", "\t"}), true},
    };
    for (const Case& c : cases) {
        const std::string path = tmp.file(std::string("case.lg"));
        std::remove(path.c_str());
        if (c.exists) xbtest::WriteFileBytes(path, c.content);
        Tgerelanguage manager(QString::fromStdString(path));
        EXPECT_FALSE(manager.Load()) << c.name;
        EXPECT_FALSE(manager.loaded()) << c.name;
        SetLanguageManager(&manager);
        LanguageIndex = 2;
        EXPECT_EQ(GetLangText(Text::Matchday), QStringLiteral("Week"))
            << c.name << ": the built-in table stays in use";
        SetLanguageManager(nullptr);
    }
}

TEST_F(LangTextsTest, UnreadableFileIsNotLoaded) {
    xbtest::WriteFileBytes(tmp.file("f.lg"), LanguageFile({"1;Spieler"}));
    Tgerelanguage manager(QString::fromStdString(tmp.file("f.lg")));
    xb::platform::InjectFault(xb::platform::FaultOp::Read, 1, xb::platform::kErrReadFault);
    EXPECT_FALSE(manager.Load());
    EXPECT_EQ(manager.GetText(1), QString());
    xb::platform::ClearFaults();
    EXPECT_TRUE(manager.Load()) << "a later load reads the file again";
    EXPECT_EQ(manager.GetText(1), QStringLiteral("Spieler"));
}

TEST_F(LangTextsTest, LinesBeyondTheLastReadAreIgnored) {
    std::vector<std::string> lines;
    for (int i = 1; i <= Tgerelanguage::kMaxTexts + 10; ++i)
        lines.push_back(std::to_string(i) + ";T" + std::to_string(i));
    xbtest::WriteFileBytes(tmp.file("f.lg"), LanguageFile(lines));
    Tgerelanguage manager(QString::fromStdString(tmp.file("f.lg")));
    ASSERT_TRUE(manager.Load());
    EXPECT_EQ(manager.textCount(), Tgerelanguage::kMaxTexts);
    EXPECT_EQ(manager.GetText(Tgerelanguage::kMaxTexts), "T" + QString::number(Tgerelanguage::kMaxTexts));
    EXPECT_EQ(manager.GetText(Tgerelanguage::kMaxTexts + 1), QString());
    // Every text of the built-in table can come from a file: the results window's captions included.
    EXPECT_GE(Tgerelanguage::kMaxTexts, static_cast<int>(BuiltInTextTable().size()) / kLanguageCount);
    SetLanguageManager(&manager);
    EXPECT_EQ(GetLangText(Text::ResultsEntryCaption), "T" + QString::number(int(Text::ResultsEntryCaption)));
    EXPECT_EQ(GetLangText(Text::GoalOwnGoal), "T" + QString::number(int(Text::GoalOwnGoal)));
    SetLanguageManager(nullptr);
}

TEST_F(LangTextsTest, FileNameIsFoundWhateverItsCase) {
    xbtest::WriteFileBytes(tmp.file("PELMORAD.LG"), LanguageFile({"1;Spieler"}));
    Tgerelanguage manager(QString::fromStdString(tmp.file(kLanguageFileName)));
    EXPECT_TRUE(manager.Load());
}

// A language file is tens of kilobytes: one past the bound is refused unread (a 3 GB sparse one at once and
// without taking its size in memory), says so in the current language, and leaves the built-in texts.
TEST_F(LangTextsTest, FileLargerThanTheBoundIsRefusedUnreadWithAMessage) {
    const std::string head = LanguageFile({"1;Spieler"});
    const uint64_t bound = Tgerelanguage::kMaxFileBytes;
    const struct {
        const char* what;
        uint64_t size;  // the file's size: its head, then a blank line or a hole
        bool sparse;
        bool loads;
    } cases[] = {
        {"at the bound", bound, false, true},
        {"one byte past it", bound + 1, false, false},
        {"3 GB sparse", uint64_t(3) << 30, true, false},
    };
    for (const auto& c : cases) {
        const std::string path = tmp.file(kLanguageFileName);
        if (c.sparse) {
            xbtest::WriteFileBytes(path, head);
            std::filesystem::resize_file(path, c.size);
        } else {
            xbtest::WriteFileBytes(path, head + std::string(c.size - head.size() - 1, ' ') + "\n");
        }
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        Tgerelanguage manager(QString::fromStdString(path));
        SetLanguageManager(&manager);
        LanguageIndex = 2;
        EXPECT_EQ(manager.Load(), c.loads) << c.what;
        getrusage(RUSAGE_SELF, &after);
        if (c.loads) {
            EXPECT_EQ(GetLangText(Text::PlayerOnBothTeams), QStringLiteral("Spieler")) << c.what;
            EXPECT_TRUE(manager.refusal().isEmpty()) << c.what;
        } else {
            EXPECT_EQ(GetLangText(Text::PlayerOnBothTeams), BuiltInText(Text::PlayerOnBothTeams, 2))
                << c.what;
            EXPECT_EQ(manager.refusal(), BuiltInText(Text::LanguageFileTooLarge, 2)
                                             .arg(QString::fromStdString(path))
                                             .arg(c.size)
                                             .arg(bound))
                << c.what;
        }
        if (c.sparse) EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 32 * 1024) << "kB more at its peak";
        SetLanguageManager(nullptr);
    }
}

}  // namespace
}  // namespace app
