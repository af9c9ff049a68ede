#include "app/settings/param_file.h"

#include <algorithm>
#include <cstring>

#include "app/settings/app_files.h"
#include "app/settings/lang_texts.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/paths.h"
#include "platform/ui.h"

namespace app {

ParamRecord Params;
int CurrentSeasonYear = 0;
QString HtmlHeaderText;
QString HtmlFooterText;
uint8_t HideDrawsFlag = 0;

namespace {

constexpr int kCodePage = 1252;

// Offsets and capacities (characters after the length byte) of the record's fields.
constexpr int kTagAt = 0, kTagMax = 3;
constexpr int kLanguageAt = 4;
constexpr int kYearAt = 8;
constexpr int kHeaderAt = 12, kHtmlMax = 255;
constexpr int kFooterAt = 268;
constexpr int kHideDrawsAt = 524;
constexpr int kGoalsForAt = 525, kLabelMax = 2;
constexpr int kGoalsAgainstAt = 528;
constexpr int kOpenAfterExportAt = 531;
constexpr int kVersionAt = 532, kVersionMax = 15;

void putInt32(unsigned char* p, int32_t v) {
    auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(u >> (8 * i));
}

int32_t getInt32(const unsigned char* p) {
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= static_cast<uint32_t>(p[i]) << (8 * i);
    return static_cast<int32_t>(u);
}

void putShortString(unsigned char* p, int capacity, const std::string& bytes) {
    size_t n = std::min(bytes.size(), static_cast<size_t>(capacity));
    p[0] = static_cast<unsigned char>(n);
    std::memcpy(p + 1, bytes.data(), n);
}

QString getShortString(const unsigned char* p, int capacity) {
    size_t n = std::min<size_t>(p[0], static_cast<size_t>(capacity));
    std::string bytes(reinterpret_cast<const char*>(p + 1), n);
    return QString::fromStdString(xb::platform::ToUtf8(bytes, kCodePage));
}

// A short text in Windows-1252 with "?" for what the page lacks, cut to max characters first so a
// character is never split.
std::string encodePlain(const QString& text, int max) {
    return xb::platform::FromUtf8(text.left(max).toStdString(), kCodePage);
}

std::string nativePath(const QString& path) {
    return path.toStdString();
}

void showWriteFailure() {
    xb::platform::CurrentUi().messageBox(GetLangText(Text::ParamFileProblem).toStdString(),
                                         GetLangText(Text::ParamFileNotSaved).toStdString(), xb::platform::kMbOk);
}

void firstRunSettings() {
    CurrentSeasonYear = xb::platform::Today().year;
    HtmlHeaderText.clear();
    HtmlFooterText.clear();
    HideDrawsFlag = 0;
}

}  // namespace

std::string EncodeHtmlText(const QString& text) {
    std::string out;
    for (char32_t ch : text.toStdU32String()) {
        std::string piece;
        int byte = xb::platform::ByteOf(kCodePage, ch);
        if (byte >= 0) {
            piece.assign(1, static_cast<char>(byte));
        } else {
            piece = "&#" + std::to_string(static_cast<uint32_t>(ch)) + ";";
        }
        if (out.size() + piece.size() > static_cast<size_t>(kHtmlMax)) break;
        out += piece;
    }
    return out;
}

std::array<unsigned char, kParamRecordSize> EncodeParamRecord(const ParamRecord& r) {
    std::array<unsigned char, kParamRecordSize> b{};
    putShortString(&b[kTagAt], kTagMax, encodePlain(r.tag, kTagMax));
    putInt32(&b[kLanguageAt], r.language);
    putInt32(&b[kYearAt], r.seasonYear);
    putShortString(&b[kHeaderAt], kHtmlMax, EncodeHtmlText(r.htmlHeader));
    putShortString(&b[kFooterAt], kHtmlMax, EncodeHtmlText(r.htmlFooter));
    b[kHideDrawsAt] = r.hideDraws;
    putShortString(&b[kGoalsForAt], kLabelMax, encodePlain(r.goalsForLabel, kLabelMax));
    putShortString(&b[kGoalsAgainstAt], kLabelMax, encodePlain(r.goalsAgainstLabel, kLabelMax));
    b[kOpenAfterExportAt] = r.openAfterExport;
    putShortString(&b[kVersionAt], kVersionMax, encodePlain(r.announcedVersion, kVersionMax));
    return b;
}

ParamRecord DecodeParamRecord(const unsigned char* b) {
    ParamRecord r;
    r.tag = getShortString(b + kTagAt, kTagMax);
    r.language = getInt32(b + kLanguageAt);
    if (r.language < 1 || r.language > kLanguageCount) r.language = 1;
    r.seasonYear = getInt32(b + kYearAt) & 0xFFFF;
    r.htmlHeader = getShortString(b + kHeaderAt, kHtmlMax);
    r.htmlFooter = getShortString(b + kFooterAt, kHtmlMax);
    r.hideDraws = b[kHideDrawsAt];
    r.goalsForLabel = getShortString(b + kGoalsForAt, kLabelMax);
    r.goalsAgainstLabel = getShortString(b + kGoalsAgainstAt, kLabelMax);
    r.openAfterExport = b[kOpenAfterExportAt];
    r.announcedVersion = getShortString(b + kVersionAt, kVersionMax);
    return r;
}

QString ParamFilePath() {
    return QString::fromStdString(xb::platform::ResolveCase(nativePath(GetAppDir() + kParamFileName)));
}

namespace {

// What the file held when this run last read or wrote it. A close that would write the same bytes
// writes nothing: on a share that is a dozen calls, and a station whose settings did not change does
// not put back over the file what another station chose meanwhile.
struct StoredBytes {
    QString dir;       // the data folder
    std::string path;  // the file's name as found there
    std::array<unsigned char, kParamRecordSize> bytes{};
};
StoredBytes& stored() {
    static StoredBytes s;
    return s;
}

}  // namespace

bool ReadParamFile() {
    const std::string path = nativePath(ParamFilePath());
    std::array<unsigned char, kParamRecordSize> bytes{};
    int rc;
    {
        // Missing, or anything but a regular file (which the start's check names): a first run, and
        // nothing is deleted.
        xb::platform::File file;
        if (file.open(path, xb::platform::kModeSharedRead) != 0) {
            firstRunSettings();
            return false;
        }
        rc = file.readAt(0, bytes.data(), bytes.size());
    }
    if (rc != 0) {
        // A short or unreadable file holds no settings worth keeping; the next write makes a new one.
        xb::platform::RemoveFileIfExists(path);
        firstRunSettings();
        return false;
    }
    stored() = {GetAppDir(), path, bytes};
    Params = DecodeParamRecord(bytes.data());
    CurrentSeasonYear = Params.seasonYear;
    LanguageIndex = Params.language;
    HtmlHeaderText = Params.htmlHeader;
    HtmlFooterText = Params.htmlFooter;
    HideDrawsFlag = Params.hideDraws;
    return true;
}

bool WriteParamFile() {
    Params.tag = QStringLiteral("P32");
    Params.language = LanguageIndex;
    Params.seasonYear = CurrentSeasonYear;
    Params.htmlHeader = HtmlHeaderText;
    Params.htmlFooter = HtmlFooterText;
    Params.hideDraws = HideDrawsFlag;
    const auto bytes = EncodeParamRecord(Params);

    if (stored().dir == GetAppDir() && stored().bytes == bytes && xb::platform::FileExists(stored().path))
        return true;
    const std::string target = nativePath(ParamFilePath());
    const std::string dir = nativePath(GetAppDir());
    std::string temp;
    int rc = xb::platform::UniqueTempFile(dir, "par", temp);
    if (rc == 0) {
        xb::platform::File file;
        rc = file.open(temp, xb::platform::kModeExclusive);
        if (rc == 0) rc = file.writeAt(0, bytes.data(), bytes.size());
        if (rc == 0) rc = file.flush();
        file.close();
        if (rc == 0) rc = xb::platform::RenameFile(temp, target);
        if (rc == 0) xb::platform::SyncDirectoryOf(target);
        if (rc != 0) xb::platform::RemoveFileIfExists(temp);
    }
    if (rc != 0) {
        showWriteFailure();
        return false;
    }
    stored() = {GetAppDir(), target, bytes};
    return true;
}

}  // namespace app
