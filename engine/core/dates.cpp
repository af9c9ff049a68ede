#include "engine/core/dates.h"


#include "engine/core/engine.h"
#include "platform/codepage.h"

namespace xb {

namespace {

EngineSettings& settings() {
    return Engine::current().settings;
}

int validFormat(int n) {
    return (n >= 0 && n < kDateFormatCount) ? n : 0;
}

// A date format set directly in the settings outside 0..8 counts as 0, as SetDateFormat would make it.
int currentFormat() {
    return validFormat(settings().dateFormat);
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Leading and trailing characters of code 32 or below go (blanks, tabs, NULs and other controls).
std::string allTrim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

void cutTo(std::string& s, size_t n) {
    if (s.size() > n) s.resize(n);
}

void cutAtNul(std::string& s) {
    size_t z = s.find('\0');
    if (z != std::string::npos) s.resize(z);
}

std::string padZeroLeft(const std::string& s, size_t width) {
    return s.size() >= width ? s : std::string(width - s.size(), '0') + s;
}

// The value of a text made only of digits (at most 9 of them, so it cannot overflow); -1 otherwise.
int digitsValue(const std::string& s) {
    if (s.empty() || s.size() > 9) return -1;
    int v = 0;
    for (char c : s) {
        if (!isDigit(c)) return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

int floorDiv(int a, int b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}
int floorMod(int a, int b) {
    return a - floorDiv(a, b) * b;
}

bool isLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return (m == 2 && isLeap(y)) ? 29 : kDays[m - 1];
}

// Splits at the separator into a first part, a second part and the rest, each trimmed and cut to 4.
struct DateParts {
    std::string first, second, rest;
};

DateParts splitDate(const std::string& text, char sep) {
    DateParts p;
    size_t a = text.find(sep);
    if (a == std::string::npos) {
        p.first = text;
    } else {
        p.first = text.substr(0, a);
        size_t b = text.find(sep, a + 1);
        if (b == std::string::npos) {
            p.second = text.substr(a + 1);
        } else {
            p.second = text.substr(a + 1, b - a - 1);
            p.rest = text.substr(b + 1);
        }
    }
    for (std::string* s : {&p.first, &p.second, &p.rest}) {
        *s = allTrim(*s);
        cutTo(*s, 4);
    }
    return p;
}

std::string expandYear(const std::string& year, bool century) {
    if (!century) return year;
    if (year.size() == 2) return YearTo4(year) + year;
    return padZeroLeft(year, 4);
}

char separatorOf(int format) {
    switch (validFormat(format)) {
        case 0:
        case 2:
            return '/';
        case 3:
            return '-';
        default:
            return '.';
    }
}

// Day, month and year joined in the picture of a format.
std::string joinPicture(int format, const std::string& m, const std::string& d, const std::string& y) {
    const char s = separatorOf(format);
    switch (validFormat(format)) {
        case 0:
            return m + s + d + s + y;
        case 1:
            return y + s + m + s + d;
        default:
            return d + s + m + s + y;
    }
}

// The date a text in the current picture stands for, as IsValidDateStr judges it.
struct ParsedDate {
    bool valid = false;
    bool blank = false;
    int year = 0, month = 0, day = 0;  // a real date when valid and not blank
    std::string picture;               // the text IsValidDateStr stores back
};

ParsedDate parseDate(const std::string& text) {
    ParsedDate r;
    const EngineSettings& s = settings();
    std::string t = allTrim(text);
    cutTo(t, kMaxDateText);
    NormalizeDateStr(t, s.century);
    if (t == BlankCanonicalDate()) {
        r.valid = r.blank = true;
    } else {
        if ((t.size() != 8 && t.size() != 10) || t[2] != '/' || t[5] != '/') return r;
        const int m = digitsValue(t.substr(0, 2));
        const int d = digitsValue(t.substr(3, 2));
        int y = digitsValue(t.substr(6));
        if (m < 1 || m > 12 || d < 1 || y < 0) return r;
        if (t.size() == 8) y += CenturyOf(t.substr(6));
        if (y < 1 || d > daysInMonth(y, m)) return r;
        r.valid = true;
        r.year = y;
        r.month = m;
        r.day = d;
        if (t.size() == 10 && !s.century) t.erase(6, 2);
    }
    if (currentFormat() != 0) FormatDateStr(t);
    r.picture = t;
    return r;
}

// Day and month names, kept as Unicode and handed out in the code page the caller needs.
struct NameTable {
    int dayWidth;
    int monthWidth;
    const char* days[7];
    const char* months[12];
};

const NameTable kEnglish = {9,
                            9,
                            {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"},
                            {"January", "February", "March", "April", "May", "June", "July", "August",
                             "September", "October", "November", "December"}};
const NameTable kItalian = {9,
                            9,
                            {"Domenica", "Lunedi", "Martedi", "Mercoledi", "Giovedi", "Venerdi", "Sabato"},
                            {"Gennaio", "Febbraio", "Marzo", "Aprile", "Maggio", "Giugno", "Luglio", "Agosto",
                             "Settembre", "Ottobre", "Novembre", "Dicembre"}};
const NameTable kFrench = {8,
                           9,
                           {"Dimanche", "Lundi", "Mardi", "Mercredi", "Jeudi", "Vendredi", "Samedi"},
                           {"Janvier", "F\u00e9vrier", "Mars", "Avril", "Mai", "Juin", "Juillet", "Ao\u00fbt",
                            "Septembre", "Octobre", "Novembre", "D\u00e9cembre"}};
const NameTable kGerman = {10,
                           9,
                           {"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"},
                           {"Januar", "Februar", "M\u00e4rz", "April", "Mai", "Juni", "Juli", "August",
                            "September", "Oktober", "November", "Dezember"}};
const NameTable kSpanish = {9,
                            10,
                            {"Domingo", "Lunes", "Martes", "Miercoles", "Jueves", "Viernes", "Sabado"},
                            {"Enero", "Febrero", "Marzo", "Abril", "Mayo", "Junio", "Julio", "Agosto",
                             "Septiembre", "Octubre", "Noviembre", "Diciembre"}};
const NameTable kRussian = {
    11,
    8,
    {"\u0412\u043e\u0441\u043a\u0440\u0435\u0441\u0435\u043d\u044c\u0435",
     "\u041f\u043e\u043d\u0435\u0434\u0435\u043b\u044c\u043d\u0438\u043a",
     "\u0412\u0442\u043e\u0440\u043d\u0438\u043a", "\u0421\u0440\u0435\u0434\u0430",
     "\u0427\u0435\u0442\u0432\u0435\u0440\u0433", "\u041f\u044f\u0442\u043d\u0438\u0446\u0430",
     "\u0421\u0443\u0431\u0431\u043e\u0442\u0430"},
    {"\u042f\u043d\u0432\u0430\u0440\u044c", "\u0424\u0435\u0432\u0440\u0430\u043b\u044c",
     "\u041c\u0430\u0440\u0442", "\u0410\u043f\u0440\u0435\u043b\u044c", "\u041c\u0430\u0439",
     "\u0418\u044e\u043d\u044c", "\u0418\u044e\u043b\u044c", "\u0410\u0432\u0433\u0443\u0441\u0442",
     "\u0421\u0435\u043d\u0442\u044f\u0431\u0440\u044c", "\u041e\u043a\u0442\u044f\u0431\u0440\u044c",
     "\u041d\u043e\u044f\u0431\u0440\u044c", "\u0414\u0435\u043a\u0430\u0431\u0440\u044c"}};

const NameTable& namesOf(int format) {
    switch (validFormat(format)) {
        case 3:
            return kItalian;
        case 4:
        case 7:
            return kFrench;
        case 5:
            return kGerman;
        case 6:
            return kSpanish;
        case 8:
            return kRussian;
        default:
            return kEnglish;
    }
}

// A UTF-8 name padded with blanks to a width counted in characters.
std::string padNameUtf8(const char* name, int width) {
    std::string s = name;
    const int chars = static_cast<int>(platform::DecodeUtf8(s).size());
    if (chars < width) s.append(static_cast<size_t>(width - chars), ' ');
    return s;
}

const std::string kBlankName(10, ' ');

// Zeller's congruence over a real date: 1 = Sunday .. 7 = Saturday.
int zeller(int y, int m, int d) {
    if (m < 3) {
        m += 12;
        y -= 1;
    }
    const int k = floorMod(y, 100);
    const int j = floorDiv(y, 100);
    const int h = floorMod(d + ((m + 1) * 26) / 10 + k + floorDiv(k, 4) + floorDiv(j, 4) - 2 * j, 7);
    return h == 0 ? 7 : h;
}

}  // namespace

void SetDateFormat(int n) {
    EngineSettings& st = Engine::current().settings;
    st.dateFormat = validFormat(n);
    st.shortDatePicture = DatePictureOf(st.dateFormat, st.century);
    st.dateSeparator = separatorOf(st.dateFormat);
}

std::string ShortDatePicture() {
    const EngineSettings& st = Engine::current().settings;
    return st.shortDatePicture.empty() ? DatePictureOf(st.dateFormat, st.century) : st.shortDatePicture;
}

char DateSeparator() {
    const EngineSettings& st = Engine::current().settings;
    return st.dateSeparator ? st.dateSeparator : separatorOf(st.dateFormat);
}

std::string DatePictureOf(int format, bool century) {
    return joinPicture(format, "MM", "dd", century ? "yyyy" : "yy");
}

std::string BlankDateText(int format) {
    const std::string year(settings().century ? 4 : 2, ' ');
    return joinPicture(format, "  ", "  ", year);
}

std::string BlankCanonicalDate() {
    return joinPicture(0, "  ", "  ", std::string(settings().century ? 4 : 2, ' '));
}

int CenturyOf(const std::string& year2) {
    int y = digitsValue(year2.substr(0, 2));
    if (y < 0) y = 0;
    const int pivot = settings().pivotYear;
    const int base = floorDiv(pivot, 100) * 100;
    return floorMod(pivot, 100) > y ? base + 100 : base;
}

std::string YearTo4(const std::string& year2) {
    const int c = CenturyOf(year2) / 100;
    return c < 0 ? std::to_string(c) : padZeroLeft(std::to_string(c), 2);
}

std::string ExpandYear(const std::string& year) {
    return expandYear(year, settings().century);
}

void NormalizeDateStr(std::string& text) {
    NormalizeDateStr(text, settings().century);
}

void NormalizeDateStr(std::string& text, bool century) {
    cutTo(text, kMaxDateText);
    cutAtNul(text);
    char sep;
    if (text.find('/') != std::string::npos)
        sep = '/';
    else if (text.find('-') != std::string::npos)
        sep = '-';
    else if (text.find('.') != std::string::npos)
        sep = '.';
    else
        return;
    DateParts p = splitDate(text, sep);
    if (p.first.empty() && p.second.empty() && p.rest.empty()) {
        text = joinPicture(0, "  ", "  ", std::string(century ? 4 : 2, ' '));
        return;
    }
    p.first = padZeroLeft(p.first, 2);
    p.second = padZeroLeft(p.second, 2);
    p.rest = padZeroLeft(p.rest, 2);
    switch (currentFormat()) {
        case 0:
            text = p.first + '/' + p.second + '/' + expandYear(p.rest, century);
            break;
        case 1:
            text = p.second + '/' + p.rest + '/' + expandYear(p.first, century);
            break;
        default:
            text = p.second + '/' + p.first + '/' + expandYear(p.rest, century);
            break;
    }
}

void FormatDateStr(std::string& text) {
    cutTo(text, kMaxDateText);
    cutAtNul(text);
    DateParts p = splitDate(text, '/');
    const int format = currentFormat();
    if (p.first.empty() && p.second.empty() && p.rest.empty()) {
        text = BlankDateText(format);
        return;
    }
    text = joinPicture(format, padZeroLeft(p.first, 2), padZeroLeft(p.second, 2), ExpandYear(p.rest));
}

bool IsValidDateStr(std::string& text) {
    ParsedDate d = parseDate(text);
    if (!d.valid) return false;
    text = d.picture;
    return true;
}

int Dow(const std::string& text) {
    ParsedDate d = parseDate(text);
    if (!d.valid || d.blank) return 0;
    return zeller(d.year, d.month, d.day);
}

std::string CDowUtf8(const std::string& text) {
    ParsedDate d = parseDate(text);
    if (!d.valid || d.blank) return kBlankName;
    const NameTable& t = namesOf(currentFormat());
    return padNameUtf8(t.days[zeller(d.year, d.month, d.day) - 1], t.dayWidth);
}

std::string CDow(const std::string& text, int codePage) {
    return platform::FromUtf8(CDowUtf8(text), codePage);
}

std::string CDow(const std::string& text) {
    return CDow(text, settings().ansiCodePage);
}

std::string CMonthUtf8(const std::string& text) {
    ParsedDate d = parseDate(text);
    if (!d.valid || d.blank) return kBlankName;
    const NameTable& t = namesOf(currentFormat());
    return padNameUtf8(t.months[d.month - 1], t.monthWidth);
}

std::string CMonth(const std::string& text, int codePage) {
    return platform::FromUtf8(CMonthUtf8(text), codePage);
}

std::string CMonth(const std::string& text) {
    return CMonth(text, settings().ansiCodePage);
}

namespace {

std::string canonicalOf(const std::string& text) {
    std::string t = text;
    NormalizeDateStr(t);
    return t;
}

int numberAt(const std::string& s, size_t pos, size_t len) {
    if (pos >= s.size()) return 0;
    const int v = digitsValue(allTrim(s.substr(pos, len)));
    return v < 0 ? 0 : v;
}

}  // namespace

int MonthOf(const std::string& text) {
    return numberAt(canonicalOf(text), 0, 2);
}

int DayOf(const std::string& text) {
    return numberAt(canonicalOf(text), 3, 2);
}

int YearOf(const std::string& text) {
    const std::string c = canonicalOf(text);
    if (c.size() <= 6) return 0;
    const std::string year = allTrim(c.substr(6));
    const int y = digitsValue(year);
    if (y < 0) return 0;
    return year.size() <= 2 ? y + CenturyOf(year) : y;
}

std::string DateToDtos(const std::string& text) {
    ParsedDate d = parseDate(text);
    if (!d.valid || d.blank) return std::string(8, ' ');
    return padZeroLeft(std::to_string(d.year), 4) + padZeroLeft(std::to_string(d.month), 2) +
           padZeroLeft(std::to_string(d.day), 2);
}

}  // namespace xb
