#include "app/shell/qt/main_form.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDir>
#include <QEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QStringList>
#include <QTimer>
#include <cmath>

#include "app/settings/app_files.h"
#include "app/settings/lang_texts.h"
#include "app/data/league_database.h"
#include "app/data/league_lookups.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/about_box.h"
#include "app/shell/qt/application.h"
#include "app/shell/qt/gradient.h"
#include "app/shell/qt/language_choice.h"
#include "app/data/league_code_page.h"
#include "app/shell/qt/modal_seam.h"
#include "app/shell/qt/parameters_window.h"
#include "app/shell/qt/termination_signals.h"
#include "app/shell/qt/window_guards.h"
#include "app/shell/qt/working_windows.h"
#include "platform/ui.h"
#include "ui_TMainForm.h"

namespace app {

TMainForm* MainForm = nullptr;

namespace {

const MainFormText kTexts[] = {
    {"mfichier", Text::BackupDatabase, Text::None, nullptr, nullptr},
    {"msauvdonnees", Text::BackupDatabase, Text::None, nullptr, nullptr},
    {"mrecharger", Text::RestoreDatabase, Text::None, nullptr, nullptr},
    {"mtelecharge", Text::InternetUpdateTitle, Text::None, nullptr, nullptr},
    {"mBasededonnes", Text::Databases, Text::None, nullptr, nullptr},
    {"mChamp", Text::Championships, Text::None, nullptr, nullptr},
    {"mequipe", Text::Teams, Text::None, nullptr, nullptr},
    {"mjoueurs", Text::Players, Text::None, nullptr, nullptr},
    {"mresultat", Text::Results, Text::None, nullptr, nullptr},
    {"mVisualisation", Text::Display, Text::None, nullptr, nullptr},
    {"mclassement", Text::Standings, Text::None, nullptr, nullptr},
    {"mjournee", Text::Matchday, Text::None, nullptr, nullptr},
    {"mMatchsEquipe", Text::MatchesTeams, Text::None, nullptr, nullptr},
    {"minfoequipe", Text::ViewTeamInfoHint, Text::None, nullptr, nullptr},
    {"mfaceaface", Text::HeadToHead, Text::None, nullptr, nullptr},
    {"mstatchamp", Text::ChampionshipStatistics, Text::None, nullptr, nullptr},
    {"mgrilleresultats", Text::ResultsGridHint, Text::None, nullptr, nullptr},
    {"mprevision", Text::Forecast, Text::None, nullptr, nullptr},
    {"mdivers", Text::MiscellaneousMenu, Text::None, nullptr, nullptr},
    {"mimportkvx127", Text::None, Text::None, "Pelmorad 1.27 import", nullptr},
    {"mparametre", Text::Parameters, Text::None, nullptr, nullptr},
    {"maide", Text::Help, Text::None, nullptr, nullptr},
    {"mapropos", Text::About, Text::None, nullptr, nullptr},
    {"msiteweb", Text::GoToWebSite, Text::None, nullptr, nullptr},
    {"mAide1", Text::ViewHelpFile, Text::None, nullptr, nullptr},
    {"bgestchamp", Text::Championships, Text::ManageChampionshipsHint, nullptr, nullptr},
    {"bgestequipes", Text::Teams, Text::TeamsManagement, nullptr, nullptr},
    {"bjoueurs", Text::Players, Text::PlayersManagement, nullptr, nullptr},
    {"bresultat", Text::ResultsMenu, Text::EnterResultsHint, nullptr, nullptr},
    {"bclassement", Text::Standings, Text::ViewStandingsMenuHint, nullptr, nullptr},
    {"bjournee", Text::Matchday, Text::ViewMatchdayResultsHint, nullptr, nullptr},
    {"bmatcheq", Text::MatchesTeams, Text::ViewTeamMatchesHint, nullptr, nullptr},
    {"binfoequipe", Text::TeamInfoMenu, Text::ViewTeamInfoHint, nullptr, nullptr},
    {"bfaceaface", Text::HeadToHead, Text::HeadToHeadHint, nullptr, nullptr},
    {"bgrilleresultat", Text::ResultsGrid, Text::ResultsGridHint, nullptr, nullptr},
    {"bstatleague", Text::ChampionshipStatistics, Text::None, nullptr, nullptr},
    {"bprevision", Text::Forecast, Text::ForecastHint, nullptr, nullptr},
    {"bmaj", Text::None, Text::InternetUpdateTitle, nullptr, nullptr},
    {"bquit", Text::Quit, Text::Quit, nullptr, " Pelmorad32"},
};

// Menu items that run an action of ActionList1; the item is enabled while its action is.
struct Binding {
    const char* item;
    const char* action;
};
const Binding kBindings[] = {
    {"mChamp", "agestchamp"},       {"mequipe", "agestequipe"},
    {"mresultat", "aresultat"},     {"mclassement", "aclassement"},
    {"mjournee", "ajournee"},       {"mMatchsEquipe", "amatchequipe"},
    {"minfoequipe", "ainfoequipe"}, {"mfaceaface", "afaceaface"},
    {"mstatchamp", "astatchamp"},   {"mgrilleresultats", "agrilleresultat"},
    {"mparametre", "aparametre"},   {"mAide1", "aidegenerale"},
    {"mapropos", "HelpAbout1"},     {"bquit", "aquitter"},
};

// Entries whose windows this build does not have yet: present, disabled. Those of the folders built on
// the shell are enabled when the executable binds them (bindWindowEntry).
const char* const kPendingEntries[] = {
    "agestchamp",    "bgestchamp",   "agestequipe",     "bgestequipes",    "mjoueurs",   "bjoueurs",
    "aresultat",     "bresultat",    "aclassement",     "bclassement",     "ajournee",   "bjournee",
    "amatchequipe",  "bmatcheq",     "ainfoequipe",     "binfoequipe",     "afaceaface", "bfaceaface",
    "astatchamp",    "bstatleague",  "agrilleresultat", "bgrilleresultat", "mprevision", "bprevision",
    "mimportkvx127", "msauvdonnees", "mrecharger",      "mtelecharge",     "bmaj",
};

QPixmap drawIcon(const QSize& size, const std::function<void(QPainter&, double, double)>& draw) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    draw(p, size.width(), size.height());
    return QPixmap::fromImage(image);
}

// A ball: white with dark patches, outlined.
void drawBall(QPainter& p, const QPointF& centre, double radius) {
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), std::max(1.0, radius / 14)));
    p.setBrush(Qt::white);
    p.drawEllipse(centre, radius, radius);
    p.setBrush(QColor(0x30, 0x30, 0x30));
    auto pentagon = [&](QPointF c, double r, double turn) {
        QPolygonF poly;
        for (int i = 0; i < 5; ++i) {
            const double a = turn + i * 2 * M_PI / 5;
            poly << c + QPointF(r * std::cos(a), r * std::sin(a));
        }
        p.drawPolygon(poly);
    };
    pentagon(centre, radius * 0.3, -M_PI / 2);
    for (int i = 0; i < 5; ++i) {
        const double a = -M_PI / 2 + i * 2 * M_PI / 5;
        const QPointF outer = centre + QPointF(radius * 0.86 * std::cos(a), radius * 0.86 * std::sin(a));
        p.drawLine(centre + QPointF(radius * 0.3 * std::cos(a), radius * 0.3 * std::sin(a)), outer);
        pentagon(outer, radius * 0.2, a + M_PI);
    }
}

}  // namespace

QString HelpFileName(int language) {
    static const char* const kSuffixes[kLanguageCount] = {"-fr", "",    "-pt", "-es",
                                                          "-it", "-hr", "-sv", "-da"};
    const char* suffix = language >= 1 && language <= kLanguageCount ? kSuffixes[language - 1] : "";
    return QStringLiteral("help/pelmorad32%1.html").arg(QString::fromLatin1(suffix));
}

std::span<const MainFormText> MainFormTexts() {
    return kTexts;
}

QImage DrawMainPicture(const QSize& size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const double w = size.width();
    const double h = size.height();
    // A pitch seen from above, with its centre circle, and a ball on the centre spot.
    QPainterPath frame;
    frame.addRoundedRect(QRectF(1, 1, w - 2, h - 2), w / 10, h / 10);
    p.setClipPath(frame);
    for (int i = 0; i < 6; ++i)
        p.fillRect(QRectF(0, i * h / 6, w, h / 6 + 1),
                   i % 2 ? QColor(0x3C, 0x9A, 0x3C) : QColor(0x46, 0xA8, 0x46));
    p.setPen(QPen(QColor(255, 255, 255, 220), std::max(1.0, w / 48)));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(0, h / 2), QPointF(w, h / 2));
    p.drawEllipse(QPointF(w / 2, h / 2), w / 4, h / 4);
    p.drawRect(QRectF(w * 0.3, -1, w * 0.4, h * 0.14));
    p.drawRect(QRectF(w * 0.3, h * 0.86, w * 0.4, h * 0.14 + 1));
    drawBall(p, QPointF(w / 2, h / 2), std::min(w, h) / 6.5);
    p.setClipping(false);
    p.setPen(QPen(QColor(0x1F, 0x5F, 0x8B), 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(frame);
    return image;
}

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::TMainForm>()) {
    ui->setupUi(this);
    MainForm = this;

    DegradeClass1 = new TDegradeClass(ui->centralwidget);
    DegradeClass1->setObjectName(QStringLiteral("DegradeClass1"));
    DegradeClass1->setStartColor(0xE7F7FE);
    DegradeClass1->setEndColor(0x94E7FC);

    ui->Image1->setPixmap(QPixmap::fromImage(DrawMainPicture(ui->Image1->minimumSize())));
    QFont captionFont = ui->pcaption->font();
    captionFont.setPointSize(captionFont.pointSize() * 2 + 4);
    captionFont.setBold(true);
    ui->pcaption->setFont(captionFont);
    ui->pcaption->setStyleSheet(QStringLiteral("color: #1f5f8b;"));

    ui->bmaj->setIcon(drawIcon(ui->bmaj->iconSize(), [](QPainter& p, double w, double h) {
        // A globe with an arrow pointing down into it.
        p.setPen(QPen(QColor(0x1F, 0x5F, 0x8B), 1.5));
        p.setBrush(QColor(0xB9, 0xE3, 0xF7));
        const QRectF globe(w * 0.08, h * 0.2, w * 0.76, h * 0.76);
        p.drawEllipse(globe);
        p.drawEllipse(QRectF(globe.center().x() - w * 0.16, globe.top(), w * 0.32, globe.height()));
        p.drawLine(QPointF(globe.left(), globe.center().y()), QPointF(globe.right(), globe.center().y()));
        QPolygonF arrow;
        arrow << QPointF(w * 0.72, 0) << QPointF(w * 0.88, 0) << QPointF(w * 0.88, h * 0.3)
              << QPointF(w, h * 0.3) << QPointF(w * 0.8, h * 0.55) << QPointF(w * 0.6, h * 0.3)
              << QPointF(w * 0.72, h * 0.3);
        p.setBrush(QColor(0x2E, 0x9D, 0x2E));
        p.setPen(QPen(QColor(0x1C, 0x60, 0x1C), 1));
        p.drawPolygon(arrow);
    }));
    ui->blivescore->setIcon(drawIcon(ui->blivescore->iconSize(), [](QPainter& p, double w, double h) {
        drawBall(p, QPointF(w * 0.4, h * 0.5), std::min(w, h) * 0.38);
        p.setBrush(QColor(0xD0, 0x20, 0x20));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(w * 0.85, h * 0.18), w * 0.13, h * 0.13);
    }));

    bindEntries();
    FormCreate();
    TranslateMainForm();
}

TMainForm::~TMainForm() {
    if (MainForm == this) MainForm = nullptr;
    // A start that fails after FormCreate destroys the form without a close, and the failure's message box
    // still asks for texts (its buttons): it must not reach a language manager that is gone.
    if (m_language && LanguageManager() == m_language.get()) SetLanguageManager(nullptr);
}

void TMainForm::bindEntries() {
    for (const Binding& b : kBindings) {
        auto* action = findChild<QAction*>(QString::fromLatin1(b.action));
        QObject* item = findChild<QObject*>(QString::fromLatin1(b.item));
        if (!action || !item) continue;
        if (auto* menuItem = qobject_cast<QAction*>(item)) {
            connect(menuItem, &QAction::triggered, action, &QAction::trigger);
            connect(action, &QAction::enabledChanged, menuItem, &QAction::setEnabled);
        } else if (auto* button = qobject_cast<QAbstractButton*>(item)) {
            connect(button, &QAbstractButton::clicked, action, &QAction::trigger);
            connect(action, &QAction::enabledChanged, button, &QWidget::setEnabled);
        }
    }
    connect(ui->HelpAbout1, &QAction::triggered, this, &TMainForm::HelpAbout1Execute);
    connect(ui->aparametre, &QAction::triggered, this, &TMainForm::aparametreExecute);
    connect(ui->aidegenerale, &QAction::triggered, this, &TMainForm::aidegeneraleExecute);
    connect(ui->aquitter, &QAction::triggered, this, &TMainForm::aquitterExecute);
    connect(ui->msiteweb, &QAction::triggered, this, &TMainForm::msitewebClick);
    connect(ui->blivescore, &QPushButton::clicked, this, &TMainForm::blivescoreClick);

    for (const char* name : kPendingEntries) {
        QObject* entry = findChild<QObject*>(QString::fromLatin1(name));
        if (auto* action = qobject_cast<QAction*>(entry)) action->setEnabled(false);
        if (auto* widget = qobject_cast<QWidget*>(entry)) widget->setEnabled(false);
    }
    showServerEntries();
    // An item follows its action from the start, not only from the action's next change.
    for (const Binding& b : kBindings) {
        auto* action = findChild<QAction*>(QString::fromLatin1(b.action));
        QObject* item = findChild<QObject*>(QString::fromLatin1(b.item));
        if (auto* menuItem = qobject_cast<QAction*>(item)) menuItem->setEnabled(action->isEnabled());
        if (auto* button = qobject_cast<QAbstractButton*>(item)) button->setEnabled(action->isEnabled());
    }
}

void TMainForm::TranslateMainForm() {
    for (const MainFormText& t : kTexts) {
        const QString name = QString::fromLatin1(t.component);
        const QString caption = t.fixedCaption ? QString::fromLatin1(t.fixedCaption) : GetLangText(t.caption);
        QString hint = t.hint != Text::None ? GetLangText(t.hint) : QString();
        if (t.hintSuffix) hint += QString::fromLatin1(t.hintSuffix);
        if (auto* menu = findChild<QMenu*>(name)) {
            menu->setTitle(caption);
        } else if (auto* item = findChild<QAction*>(name)) {
            item->setText(caption);
        } else if (auto* button = findChild<QAbstractButton*>(name)) {
            if (t.caption != Text::None || t.fixedCaption) button->setText(caption);
            if (t.hint != Text::None) button->setToolTip(hint);
        }
    }
    // An action shows the text of the menu item that runs it.
    for (const Binding& b : kBindings) {
        auto* action = findChild<QAction*>(QString::fromLatin1(b.action));
        if (auto* item = findChild<QAction*>(QString::fromLatin1(b.item))) action->setText(item->text());
    }
    ui->aquitter->setText(GetLangText(Text::Quit));
}

void TMainForm::showEvent(QShowEvent* e) {
    QMainWindow::showEvent(e);
    // The program's first window asks for the focus itself: without a window manager (a bare X server)
    // nothing else would activate it, and the first activation is what starts the program's work.
    if (m_firstActivation) QTimer::singleShot(0, this, [this] { activateWindow(); });
}

bool TMainForm::event(QEvent* e) {
    // A window closed before its first activation came (a termination signal right after it was shown)
    // has let go of what the activation works with: the activation has nothing left to do.
    if (e->type() == QEvent::WindowActivate && !m_closed) FormActivate();
    return QMainWindow::event(e);
}

void TMainForm::closeEvent(QCloseEvent* e) {
    if (!m_closed) {
        m_closed = true;
        FormClose();
    }
    e->accept();
}

void TMainForm::FormCreate() {
    m_firstActivation = true;
    m_paramFileMissing = false;
    m_language = std::make_unique<Tgerelanguage>(GetAppDir() + QString::fromLatin1(kLanguageFileName));
    m_language->Load();
    SetLanguageManager(m_language.get());
}

void TMainForm::FormActivate() {
    if (m_firstActivation) {
        // A termination signal taken before this activation (its close not yet run by the event loop)
        // stops the start here: nothing is read, chosen or settled that the close would have to keep.
        if (TerminationSignalled()) return;
        if (ReadParamFile())
            m_settingsKnown = true;
        else
            m_paramFileMissing = true;
        m_firstActivation = false;
        const QString refused = m_language->refusal();
        if (!refused.isEmpty())
            xb::platform::CurrentUi().messageBox(refused.toStdString(), "PELMORAD32",
                                                 xb::platform::kMbOk | xb::platform::kMbIconWarning);
        if (fsysteme) CloseSystemTables(*fsysteme);
        if (m_paramFileMissing) {
            m_paramFileMissing = false;
            if (!m_language->loaded() && Form10) {
                // The choice is the settings' first content: written at once, so that a second station
                // and a run that is killed find it. A choice nobody made writes nothing, now or at the close.
                if (ShowModal(*Form10) == QDialog::Accepted) {
                    WriteParamFile();
                    m_settingsKnown = true;
                } else if (!TerminationSignalled() && Form10->quitChosen()) {
                    QTimer::singleShot(0, this, &QWidget::close);
                }
            } else {
                // A first run with a language file: the settings are the first run's, as the close keeps them.
                m_settingsKnown = true;
            }
        }
        // A signal that dismissed the language choice or a message stops the start as before its window:
        // the close that follows writes nothing.
        if (m_closed || TerminationSignalled()) return;
        // The session's language is known now and the tables are closed: a database still empty takes
        // the code page the language needs.
        SettleLeagueCodePage(LanguageIndex);
        if (m_server.start) m_server.start();
        m_started = true;
    }
    TranslateMainForm();
}

void TMainForm::FormClose() {
    // A close before the first activation was over (a termination signal as the window came up, or during
    // the language choice) comes from a start that was stopped: this run read, chose and used nothing, and
    // the settings file and the tables stay byte for byte as they were.
    const bool started = m_started;
    // The settings first: whatever the clean-up of the tables meets, this run's settings are kept. Only
    // settings read from the file or chosen in this run are written: defaults never replace a file.
    if (started && m_settingsKnown) WriteParamFile();
    // The results window and the other open windows keep their tables open, which would refuse those
    // tables' pack; closed here, they also leave nothing behind that would keep the program running.
    CloseResultFormIfOpen();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != this && window->isVisible() && !window->isModal()) window->close();
    }
    if (started) m_packResults = PackAllTables(GetAppDir());
    // A note the pack could not read stopped that table's pack: the user learns which row, and that
    // nothing of it was lost.
    for (const TablePackResult& r : m_packResults)
        if (r.error == kErrInvalidMemoAddress)
            xb::platform::CurrentUi().messageBox(
                GetLangText(Text::PackStoppedAtUnreadableNote)
                    .arg(r.table + QStringLiteral(".dbf"), QString::fromStdString(r.detail))
                    .toStdString(),
                kApplicationTitle, xb::platform::kMbOk | xb::platform::kMbIconWarning);
    // A disk too full for a pack stopped it before it changed anything: the user learns which tables
    // were left unpacked, and that nothing of them was lost.
    QStringList unpacked;
    for (const TablePackResult& r : m_packResults)
        if (r.outcome == PackOutcome::NoSpace) unpacked << r.table + QStringLiteral(".dbf");
    if (!unpacked.isEmpty())
        xb::platform::CurrentUi().messageBox(
            GetLangText(Text::PackStoppedDiskFull).arg(unpacked.join(QStringLiteral(", "))).toStdString(),
            kApplicationTitle, xb::platform::kMbOk | xb::platform::kMbIconWarning);
    // The exchange threads stop where their transfers poll the stop flag, and are joined.
    if (m_server.stop) m_server.stop();
    if (LanguageManager() == m_language.get()) SetLanguageManager(nullptr);
    m_language.reset();
}

void TMainForm::bindWindowEntry(const QString& entry, std::function<void()> show) {
    QObject* item = findChild<QObject*>(entry);
    if (auto* action = qobject_cast<QAction*>(item)) {
        action->setEnabled(true);
        connect(action, &QAction::triggered, this, [show] { show(); });
    } else if (auto* button = qobject_cast<QAbstractButton*>(item)) {
        button->setEnabled(true);
        connect(button, &QAbstractButton::clicked, this, [show] { show(); });
    }
    if (entry == QLatin1String("mtelecharge") || entry == QLatin1String("bmaj")) {
        m_downloadBound = true;
        showServerEntries();
    }
}

void TMainForm::HelpAbout1Execute() {
    if (AboutBox) ShowModal(*AboutBox);
}

void TMainForm::aparametreExecute() {
    if (!fpara) return;
    fpara->show();
    fpara->raise();
    fpara->activateWindow();
}

void TMainForm::aidegeneraleExecute() {
    // Without a browser the user still learns where the page is, to open it by hand.
    const QString page = GetAppDir() + HelpFileName(LanguageIndex);
    if (!ShellOpenFile(page))
        ShowMessage(GetLangText(Text::BrowserDidNotStart).arg(QDir::toNativeSeparators(page)),
                    GetLangText(Text::Help), xb::platform::kMbIconInformation);
}
void TMainForm::aquitterExecute() {
    close();
}
void TMainForm::setServerLink(ServerLink link) {
    m_server = std::move(link);
    showServerEntries();
}

void TMainForm::showServerEntries() {
    // Without a server there is no product page, no live results and nothing to download: the entries are
    // not offered at all.
    const bool server = !m_server.baseUrl.isEmpty();
    for (QAction* item : {ui->msiteweb, ui->mtelecharge}) {
        const bool shown = server && (item != ui->mtelecharge || m_downloadBound);
        item->setVisible(shown);
        item->setEnabled(shown);
    }
    for (QWidget* button : {static_cast<QWidget*>(ui->blivescore), static_cast<QWidget*>(ui->bmaj)}) {
        const bool shown = server && (button != ui->bmaj || m_downloadBound);
        button->setVisible(shown);
        button->setEnabled(shown);
    }
}

void TMainForm::msitewebClick() {
    if (!m_server.baseUrl.isEmpty()) OpenInBrowser(m_server.baseUrl + QLatin1Char('/'));
}

void TMainForm::blivescoreClick() {
    if (!m_server.baseUrl.isEmpty())
        OpenInBrowser(m_server.baseUrl + QStringLiteral("/resultats-football.php"));
}

}  // namespace app
