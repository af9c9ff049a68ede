// The settings file "PELMORAD32.PAR" in the data directory: one 548-byte little-endian record in
// Windows-1252 (docs/parameter-file.md). It is read once at start and written when the settings change
// (the first-start language choice, the parameters window's OK) and at the end; in between the settings
// live in the globals below and in the in-memory record Params.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <string>

namespace app {

inline constexpr const char* kParamFileName = "PELMORAD32.PAR";
inline constexpr int kParamRecordSize = 548;

// The record as the program holds it. Texts are decoded from Windows-1252 when read; characters that
// page lacks are stored as HTML numeric references in the HTML texts ("&#268;" for "Č") and as "?"
// in the short labels and the version.
struct ParamRecord {
    QString tag = QStringLiteral("P32");
    int32_t language = 1;  // 1..8
    int32_t seasonYear = 0;
    QString htmlHeader;           // at most 255 bytes once encoded
    QString htmlFooter;           // at most 255 bytes once encoded
    uint8_t hideDraws = 0;        // 1 hides the draws column
    QString goalsForLabel;        // at most 2 characters; empty: the built-in column title
    QString goalsAgainstLabel;    // at most 2 characters; empty: the built-in column title
    uint8_t openAfterExport = 0;  // 1 opens an exported page with the desktop
    QString announcedVersion;     // at most 15 characters: the newest version already announced
};

// The 548 bytes of a record (bytes after each short string are zero).
std::array<unsigned char, kParamRecordSize> EncodeParamRecord(const ParamRecord& record);
// The record of 548 bytes. Length bytes longer than their field are cut to the field; a language
// outside 1..8 reads as 1 (a first run with a language file stores 0, and texts of language 0 are
// empty); the year keeps the field's low 16 bits, as the program always stored it.
ParamRecord DecodeParamRecord(const unsigned char* bytes);

// An HTML text as stored: Windows-1252, characters the page lacks as "&#N;", cut at 255 bytes without
// splitting a character reference.
std::string EncodeHtmlText(const QString& text);

// The settings in use. ReadParamFile fills the globals from the record; WriteParamFile copies them
// back first. The labels, the open-after-export flag and the announced version are used in Params
// itself. LanguageIndex (lang_texts.h) is the language.
extern ParamRecord Params;
extern int CurrentSeasonYear;
extern QString HtmlHeaderText;
extern QString HtmlFooterText;
extern uint8_t HideDrawsFlag;

// The file's full name: GetAppDir() + "PELMORAD32.PAR", whatever the case of the name on disk.
QString ParamFilePath();

// Reads the file into Params and the globals; true when it was read. A file that cannot be read whole
// is deleted. Missing or unreadable: a first run (the year of today's date, empty HTML texts, draws
// shown, LanguageIndex unchanged, Params' other fields unchanged) and false.
bool ReadParamFile();
// Writes the globals and Params to the file through a temporary file renamed over it, so the old file
// stays whole until the new one is complete. On failure says so in the session's language through the
// UI seam, keeps the old file and returns false.
bool WriteParamFile();

}  // namespace app
