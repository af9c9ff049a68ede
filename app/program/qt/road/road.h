// The road through the program (program_road_main.cpp runs it): what its rooms share. A station is a script
// of steps run from a timer inside the program's own event loop; the helpers drive the real windows as a
// user does; the checks read what the windows, printouts and pages show.
#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPieSeries>
#include <QPieSlice>
#include <QPixmap>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTranslator>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/editing/match_entry.h"
#include "app/editing/qt/championship_window.h"
#include "app/editing/qt/match_entry_window.h"
#include "app/editing/qt/matchday_results_window.h"
#include "app/editing/qt/player_window.h"
#include "app/editing/qt/team_window.h"
#include "app/exchange/qt/import_window.h"
#include "app/program/qt/program.h"
#include "app/program/qt/program_windows.h"
#include "app/reports/qt/championship_stats_window.h"
#include "app/reports/qt/head_to_head_window.h"
#include "app/reports/qt/prevision_window.h"
#include "app/reports/qt/results_grid_window.h"
#include "app/reports/qt/standings_window.h"
#include "app/reports/qt/team_info_window.h"
#include "app/reports/qt/team_matches_window.h"
#include "app/reports/standings.h"
#include "app/settings/app_files.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_access.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/export_file_chooser.h"
#include "app/shell/qt/interface_language.h"
#include "app/shell/qt/language_choice.h"
#include "app/shell/qt/main_form.h"
#include "app/shell/qt/parameters_window.h"
#include "app/shell/qt/pick_list.h"
#include "app/shell/qt/report_charts.h"
#include "app/shell/qt/report_grid.h"
#include "app/shell/qt/report_print.h"
#include "app/shell/qt/screen_fit.h"
#include "engine/dataset/qt/engine_windows_qt.h"
#include "platform/shell_open.h"
#include "tests/support/html_table.h"
#include "tests/support/league_fill.h"
#include "tests/support/run_command.h"

namespace road {

namespace fs = std::filesystem;

class RecordingShell : public xb::platform::Shell {
public:
    bool open(const std::string& url) override {
        opened.push_back(url);
        return true;
    }
    std::vector<std::string> opened;
};

class Road : public QObject {
public:
    struct Step {
        std::string name;
        std::function<bool()> ready;  // polled until true (or the step's time runs out)
        std::function<void()> act;    // run from its own timer: it may open a modal window and block
    };

    Road(int station, std::string out) : m_station(station), m_out(std::move(out)) {
        m_poll.setInterval(60);
        connect(&m_poll, &QTimer::timeout, this, [this] { tick(); });
    }

    void add(std::string name, std::function<bool()> ready, std::function<void()> act) {
        m_steps.push_back({std::move(name), std::move(ready), std::move(act)});
    }
    void add(std::string name, std::function<void()> act) {
        add(
            std::move(name), [] { return true; }, std::move(act));
    }
    // A screenshot of the whole X screen, numbered in the road's order.
    void shot(const std::string& what) {
        add("shot " + what, [this, what] {
            // Whatever the last step changed is painted and reaches the X server first; the road waits.
            m_holding = true;
            QTest::qWait(250);
            m_holding = false;
            const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
            char name[64];
            std::snprintf(name, sizeof name, "%d%02d-%s.png", m_station, ++m_shots, what.c_str());
            screen.save(QString::fromStdString(m_out + "/" + name));
        });
    }
    void check(bool ok, const std::string& what) {
        if (!ok) m_failures.push_back(m_steps[m_current].name + ": " + what);
    }

    void start() {
        m_stepStart = std::chrono::steady_clock::now();
        m_poll.start();
    }
    const std::vector<std::string>& failures() const { return m_failures; }
    // While held, no further step starts: a step that waits (and so turns the event loop) holds the road.
    void hold(bool held) { m_holding = held; }

private:
    void tick() {
        if (m_finished || m_holding) return;
        if (m_next >= m_steps.size()) {
            m_finished = true;
            return;
        }
        Step& s = m_steps[m_next];
        if (!s.ready()) {
            if (std::chrono::steady_clock::now() - m_stepStart > std::chrono::seconds(30)) {
                m_failures.push_back(s.name + ": not ready within 30 s");
                m_finished = true;
                // Give up: dismiss whatever modal window is up, then close the program.
                QTimer::singleShot(0, [] {
                    while (QWidget* m = QApplication::activeModalWidget()) m->close();
                    for (QWidget* w : QApplication::topLevelWidgets())
                        if (qobject_cast<app::TMainForm*>(w)) w->close();
                });
            }
            return;
        }
        m_current = m_next++;
        m_stepStart = std::chrono::steady_clock::now();
        std::fprintf(stderr, "road %d: %s\n", m_station, s.name.c_str());
        QTimer::singleShot(0, this, [act = s.act] { act(); });
    }

    int m_station;
    std::string m_out;
    QTimer m_poll;
    std::vector<Step> m_steps;
    size_t m_next = 0;
    size_t m_current = 0;
    bool m_finished = false;
    bool m_holding = false;
    int m_shots = 0;
    std::chrono::steady_clock::time_point m_stepStart;
    std::vector<std::string> m_failures;
};

// The desktop opener the stations install in place of the real one.
extern RecordingShell* g_shell;

template <typename T>
T* Child(QWidget* w, const char* name) {
    T* c = w ? w->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    if (!c) throw std::runtime_error(std::string("no control ") + name);
    return c;
}
template <typename T>
T* Modal() {
    return qobject_cast<T*>(QApplication::activeModalWidget());
}
template <typename T>
std::function<bool()> ModalIs() {
    return [] { return Modal<T>() != nullptr && Modal<T>()->isVisible(); };
}
std::function<bool()> NoModal();
void Click(QWidget* w, const char* name);
void Type(QWidget* w, const char* name, const QString& text);
void Choose(QWidget* w, const char* name, const QString& text);
// The pick list: the search typed, the first row chosen.
void PickFirst(const QString& search);
// A message box's button of the given role.
void Answer(QMessageBox::StandardButton button);
// Qt's file dialog: the folder shown, the name typed, as a user does.
void TypeFileName(const QString& path);
void AcceptFileDialog(const QString& path);
app::TMainForm* Main();
// Adds to the road the steps of one picked entry: the click that opens the pick list, the pick.
void AddPick(Road& road, const std::string& name, std::function<void()> open, const QString& search);

// ---- the English road (first_station.cpp): a season entered by hand, and its plain model ----

extern const char* const kTeams[6];
// The standings of the road's season as "NAME points played wins draws defeats for against" lines.
std::vector<std::string> ModelLines();
void FirstStation(Road& road, const std::string& out);
void SecondStation(Road& road, const std::string& out);

// ---- the reports in French and in Croatian (report_station.cpp) ----

// 30 characters, the most a championship name holds; a team name read as markup if it were.
inline constexpr int kFrench = 1, kCroatian = 6;
inline constexpr const char* kLongChampionship = "CHAMPIONNAT NATIONAL DE FRANCE";
inline constexpr const char* kMarkupTeam = "Lille <b>&\"OSC";
inline constexpr const char* kMarkupPlayer = "Pierre <i>&\"Dupr\u00e9";
void ReportStation(Road& road, const std::string& out, int language, const std::string& tag);

// ---- what a shown window reads like (window_checks.cpp) ----

struct TextProblems {
    std::vector<std::string> found;
    void add(const std::string& where, const QString& text) {
        found.push_back(where + " '" + text.toStdString() + "'");
    }
};

// Every text of the window against the room it has: fields, labels and combo boxes whole, every grid
// cell within its column (titles of several lines within the title bar), every chart text whole on
// screen and in the chart's image, no chart label read as markup, the championship named whole.
TextProblems WindowTextProblems(QWidget* w);
// The window on the screen: its frame and every shown button inside the screen's free area; with
// reportGrids, every report grid able to show 15 rows at the least and none scrolling sideways while its
// window could still grow.
TextProblems ScreenProblems(QWidget* w, bool reportGrids = true);
// Under a window manager (LM_ROAD_WINDOW_MANAGER set by the check): the window's frame as the X server and
// the window manager have it (the window's place on the root and _NET_FRAME_EXTENTS), not as Qt believes.
std::optional<QRect> OutsideFrame(QWidget* w);
// The whole screen as it is now, in out/name-WIDTHxHEIGHT.png: the window seen where it lies on the screen.
void ScreenPicture(const std::string& out, const std::string& name);

// What reads as English in a session of another language: a table text's English entry where the
// language has an entry of its own, and Qt's own English texts (the standard buttons, the file chooser's)
// that Qt's catalogue for the language translates. Data (names, numbers) never equals either.
class ForeignTexts {
public:
    explicit ForeignTexts(int language) {
        // An English entry that is also some text's entry in the language ("P" is English for played
        // and Croatian for won) reads right either way.
        const int texts = static_cast<int>(app::BuiltInTextTable().size()) / app::kLanguageCount;
        std::set<QString> own;
        for (int n = 1; n <= texts; ++n) own.insert(key(app::BuiltInText(n, language)));
        for (int n = 1; n <= texts; ++n) {
            const QString en = app::BuiltInText(n, 2);
            if (en.contains(QRegularExpression("[A-Za-z]")) && !own.count(key(en))) m_english.insert(key(en));
        }
        m_qtLoaded = m_qt.load(QStringLiteral("qtbase_") + app::QtCatalogueName(language).mid(3),
                               QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    }
    // True when the check can tell: Qt's catalogue is there and translates the standard buttons, and the
    // table's English is known as such.
    bool complete() const {
        for (const char* button : {"&Yes", "&No", "OK", "Cancel", "Close"})
            if (qtTranslated(button).isEmpty()) return false;
        return m_qtLoaded && why(app::BuiltInText(app::Text::Cancel, 2));
    }
    // Why the shown text reads as English; nullptr when it does not.
    const char* why(const QString& text) const {
        if (text.trimmed().isEmpty()) return nullptr;
        if (m_english.count(key(text))) return "English table text";
        if (!qtTranslated(text.toUtf8().constData()).isEmpty()) return "Qt's English";
        return nullptr;
    }

private:
    static QString key(QString text) { return text.remove(QLatin1Char('&')).simplified(); }
    QString qtTranslated(const char* text) const {
        for (const char* context : {"QPlatformTheme", "QFileDialog", "QMessageBox", "QDialogButtonBox"}) {
            const QString own = m_qt.translate(context, text);
            if (!own.isEmpty() && own != QString::fromUtf8(text)) return own;
        }
        return {};
    }

    std::set<QString> m_english;
    QTranslator m_qt;
    bool m_qtLoaded = false;
};

// Every text the shown windows let a user read that reads as English.
std::vector<std::string> ForeignShown(const ForeignTexts& foreign);

// ---- the check (road_check.cpp): the stations run, then their printouts and pages read ----

// All four stations on the screen the road runs on; with reportsOnly the two report stations only (the
// road on a small screen); with windowManager under openbox, started on the display first.
int Check(const char* self, const std::string& out, bool reportsOnly, bool windowManager);

}  // namespace road
