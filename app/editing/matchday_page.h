// The matchday results page: the matches of one matchday as an HTML page in one of two styles, through
// the reports' page writer (every text escaped, UTF-8, balanced markup).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

#include "app/pages/report_columns.h"

namespace app {

struct MatchdayPage {
    QString championshipName;
    QString seasonText;  // "2012 - 2013"
    QString matchday;
    std::vector<QStringList> rows;  // home name, home goals, away goals, away name
};

// The columns the printout and the page show of a row (home name, home goals, away goals, away name):
// their titles, printed places, and the page's header and data cells.
ReportColumns MatchdayColumns();

// Style 1: title, the three information lines, a bordered table with a title row. Style 2: the matchday
// line centred, a borderless table under a plain blue band. Texts in the current language.
QByteArray MatchdayHtml(const MatchdayPage& page, int style);

}  // namespace app
