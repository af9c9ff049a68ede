#include "app/program/qt/program.h"

#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "app/exchange/database_swap.h"
#include "app/exchange/qt/database_commands.h"
#include "app/exchange/qt/download_window.h"
#include "app/settings/app_files.h"
#include "app/settings/lang_texts.h"
#include "app/data/kept_tables.h"
#include "app/data/league_access.h"
#include "app/data/league_database.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/about_box.h"
#include "app/shell/qt/application.h"
#include "app/shell/qt/desktop_shell.h"
#include "app/shell/qt/language_choice.h"
#include "app/shell/qt/main_form.h"
#include "app/shell/qt/modal_seam.h"
#include "app/shell/qt/parameters_window.h"
#include "app/shell/qt/termination_signals.h"
#include "app/shell/qt/working_windows.h"
#include "app/data/table_check.h"
#include "engine/core/engine.h"
#include "engine/core/errors.h"
#include "engine/dataset/engine_start.h"
#include "engine/dataset/qt/engine_windows_qt.h"
#include "engine/dataset/xb_dataset.h"
#include "engine/index/mdx_agreement.h"
#include "platform/file.h"
#include "platform/paths.h"

namespace app {

namespace {

// While the tables open, their messages are held back: a table that cannot be opened would otherwise
// give one box from the dataset layer and another from the engine. Progress goes on being shown.
class HeldMessagesUi : public xb::platform::Ui {
public:
    HeldMessagesUi() : m_shown(&xb::platform::CurrentUi()), m_previous(xb::platform::SetUi(this)) {}
    ~HeldMessagesUi() override { xb::platform::SetUi(m_previous); }

    int messageBox(const std::string& text, const std::string&, unsigned) override {
        held.push_back(text);
        return xb::platform::kIdOk;
    }
    char dialog(const std::string&, char, const std::string& text, const std::string& buttons) override {
        held.push_back(text);
        return xb::platform::DefaultButtonHotkey(buttons);
    }
    void progressStart(const std::string& caption, long total) override {
        m_shown->progressStart(caption, total);
    }
    void progressStep(long done) override { m_shown->progressStep(done); }
    void progressEnd() override { m_shown->progressEnd(); }

    std::vector<std::string> held;

private:
    xb::platform::Ui* m_shown;
    xb::platform::Ui* m_previous;
};

// The measurement switch "--measure FILE": the run ends by itself once the first activation is over, and
// FILE receives the monotonic clock (ns) at the program's entry, at the end of the first activation and at
// the end of the shutdown (docs/program-start.md). Read here only; the windows know nothing of it.
class StartMeasure : public QObject {
public:
    StartMeasure(std::string file, TMainForm* form) : m_file(std::move(file)), m_form(form) {
        form->installEventFilter(this);
    }
    static long long Now() {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    long long entered = 0;

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        // The activation's own handling runs after the filter: look once the event has been delivered.
        if (e->type() == QEvent::WindowActivate && !m_done)
            QTimer::singleShot(0, this, [this] { afterActivation(); });
        return false;
    }

private:
    void afterActivation() {
        if (m_done) return;
        // The first activation may still be under way (the language choice open, with its own event loop):
        // the run is measured once it is over.
        if (!m_form->started()) {
            if (m_form->isVisible()) QTimer::singleShot(20, this, [this] { afterActivation(); });
            return;
        }
        m_done = true;
        const long long activated = Now();
        m_form->close();
        const long long shutdown = Now();
        std::FILE* f = std::fopen(m_file.c_str(), "w");
        if (!f) return;
        std::fprintf(f, "entered %lld\nactivated %lld\nshutdown %lld\n", entered, activated, shutdown);
        std::fclose(f);
    }

    std::string m_file;
    TMainForm* m_form;
    bool m_done = false;
};

// Takes "--measure FILE" out of the arguments; empty when absent.
std::string TakeMeasureSwitch(int& argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) != "--measure") continue;
        std::string file = argv[i + 1];
        for (int j = i; j + 2 <= argc; ++j) argv[j] = argv[j + 2];
        argc -= 2;
        return file;
    }
    return {};
}

// The language of the start's messages, for the length of the start. The settings are read at the first
// activation, after the tables: their language is taken from the file without changing anything, and
// kept. Without a settings file (a first start, whose language is asked after the tables are made) the
// desktop's is taken when it is one of the program's, and the previous one is put back afterwards.
class StartLanguage {
public:
    StartLanguage() {
        // Read through the file layer, which opens nothing but a regular file and never waits on a pipe:
        // whatever else stands at the name is for the start's check to name.
        xb::platform::File parFile;
        uint64_t size = 0;
        unsigned char par[kParamRecordSize];
        if (parFile.open(ParamFilePath().toStdString(), xb::platform::kModeSharedRead) == 0 &&
            parFile.size(size) == 0 && size == kParamRecordSize && parFile.readAt(0, par, sizeof par) == 0) {
            LanguageIndex = DecodeParamRecord(par).language;
            return;
        }
        static const std::pair<QLocale::Language, int> kLanguages[] = {
            {QLocale::French, 1},  {QLocale::English, 2},  {QLocale::Portuguese, 3}, {QLocale::Spanish, 4},
            {QLocale::Italian, 5}, {QLocale::Croatian, 6}, {QLocale::Swedish, 7},    {QLocale::Danish, 8}};
        for (const auto& [language, index] : kLanguages) {
            if (QLocale::system().language() != language) continue;
            m_previous = LanguageIndex;
            LanguageIndex = index;
        }
    }
    ~StartLanguage() {
        if (m_previous) LanguageIndex = m_previous;
    }
    StartLanguage(const StartLanguage&) = delete;
    StartLanguage& operator=(const StartLanguage&) = delete;

private:
    int m_previous = 0;
};

// A termination signal during the start ends it where it stands: what was begun is whole (a table is
// created aside and appears whole or not at all), and nothing further is begun.
void StopIfRequested() {
    if (xb::platform::StopRequested())
        throw StartupStopped("The start was ended by a termination signal; nothing further was changed.");
}

// Shows text in a box with a Stop button while ready() is false, asking it every 100 ms with the event
// loop running, so that the window stays live. Throws StartupStopped when the user stops or a
// termination signal comes.
void WaitWhileSaying(const std::function<bool()>& ready, const std::function<QString()>& text) {
    if (ready()) return;
    StopIfRequested();
    QString said = text();
    std::fprintf(stderr, "%s\n", said.toLocal8Bit().constData());
    QMessageBox box(QMessageBox::Information, QString::fromLatin1(kApplicationTitle), said);
    box.setObjectName(QStringLiteral("creationWait"));
    QPushButton* stop = box.addButton(GetLangText(Text::StopButton), QMessageBox::RejectRole);
    box.setWindowModality(Qt::NonModal);
    QEventLoop loop;
    QObject::connect(stop, &QPushButton::clicked, &loop, [&loop] { loop.exit(1); });
    QObject::connect(&box, &QDialog::finished, &loop, [&loop] { loop.exit(1); });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (xb::platform::StopRequested()) return loop.exit(1);
        if (ready()) return loop.exit(0);
        if (const QString now = text(); now != said) box.setText(said = now);
    });
    poll.start(100);
    box.show();
    const int stopped = loop.exec();
    box.hide();
    if (stopped)
        throw StartupStopped(
            "The start was stopped while another station created the tables; nothing was changed.");
}

QString joined(const std::vector<std::string>& names) {
    QStringList out;
    for (const std::string& n : names) out << QString::fromStdString(n);
    return out.join(QStringLiteral(", "));
}

void AnnounceVersion(const std::string& version) {
    const VersionNoticeTexts texts{GetLangText(Text::NewVersion).toStdString(),
                                   GetLangText(Text::NewVersionAvailable).toStdString()};
    AnnounceNewVersion(
        version, Params.announcedVersion.toStdString(),
        [](const std::string& stored) { Params.announcedVersion = QString::fromStdString(stored); }, texts,
        BuiltInExchangeSettings().contactAddress);
}

}  // namespace

AppWindows::AppWindows(ExchangeSettings exchangeSettings, const WindowEntries& later) {
    // A newer version is found on an exchange thread; it is stored and announced on the GUI thread.
    m_exchange =
        std::make_unique<ServerExchange>(std::move(exchangeSettings), [](const std::string& version) {
            QMetaObject::invokeMethod(
                qApp, [version] { AnnounceVersion(version); }, Qt::QueuedConnection);
        });
    m_mainForm = std::make_unique<TMainForm>();
    ServerExchange* exchange = m_exchange.get();
    m_mainForm->setServerLink(
        {QString::fromStdString(exchange->settings().baseUrl),
         [exchange] { exchange->Start(true, kEventStart, true, Params.announcedVersion.toStdString()); },
         [exchange] { exchange->StopAll(); }});
    TMainForm* main = m_mainForm.get();
    m_mainForm->bindWindowEntry(QStringLiteral("msauvdonnees"), [main] { RunMenuBackup(main); });
    m_mainForm->bindWindowEntry(QStringLiteral("mrecharger"), [main] { RunMenuRestore(main); });
    for (const WindowEntry& e : later) m_mainForm->bindWindowEntry(e.entry, e.show);
    m_aboutBox = std::make_unique<TAboutBox>();
    AboutBox = m_aboutBox.get();
    const StartLanguage language;
    // A termination signal from here on ends the start between two of its steps.
    const xb::platform::StopRequestScope stops;
    const std::string folder = GetAppDir().toStdString();
    if (FolderRefusesWrites(folder))
        throw StartupError(GetLangText(Text::DataFolderReadOnly).arg(GetAppDir()).toStdString());
    // The look for what an interrupted restore left, the check and the opens of the nine tables look
    // their names up in one listing of the folder (a wait for another station's creation lists it again
    // at each look, and a restore finished here drops it).
    xb::platform::NameLookupScope names;
    // A restore that a crash cut short is finished (or its leftovers removed) before any table opens.
    if (!RecoverInterruptedRestore(GetAppDir().toStdString()))
        std::fprintf(stderr, "An interrupted restore could not be finished in %s\n",
                     GetAppDir().toLocal8Bit().data());
    StopIfRequested();
    askAboutDamage();
    StopIfRequested();
    // An index a failed write left out of step with its table, and that no station repaired, is found
    // as the tables open and rebuilt from the rows.
    xb::CheckIndexesAsOpened agreement;
    {
        // Errors come back as exceptions here instead of halting: the program ends with one message that
        // names the file and gives the engine's reason.
        HeldMessagesUi held;
        try {
            xb::TrappingOff quiet;
            m_fsysteme = std::make_unique<Tfsysteme>();
        } catch (const TablesOpenStopped&) {
            throw StartupStopped("The start was ended by a termination signal; nothing further was changed.");
        } catch (const std::exception& e) {
            std::string text;
            const uint16_t code = xb::LastError();
            if (code == xb::platform::kErrDiskFull || code == xb::platform::kErrDiskWrite)
                text += diskFullSaying(folder).toStdString() + "\n";
            for (const std::string& m : held.held) text += m + "\n";
            throw StartupError(text + e.what());
        }
    }
    for (const xb::IndexOutOfStepFound& i : agreement.found())
        std::fprintf(stderr, "The index %s was rebuilt from its rows: %s\n", i.indexPath.c_str(),
                     i.reason.c_str());
    // The tables are made: other stations' starts may look at them.
    m_creation.reset();
    fsysteme = m_fsysteme.get();
    m_fpara = std::make_unique<Tfpara>();
    fpara = m_fpara.get();
    m_form10 = std::make_unique<TForm10>();
    Form10 = m_form10.get();
    m_ftelecharge = std::make_unique<Tftelecharge>(m_exchange.get(), m_mainForm.get());
    ftelecharge = m_ftelecharge.get();
    m_ftelecharge->setBeforeRestore([this] { CloseWorkingWindows(m_ftelecharge.get()); });
    // The database download runs modally from the File menu and the globe button.
    const auto download = [this] { ShowModal(*m_ftelecharge); };
    m_mainForm->bindWindowEntry(QStringLiteral("mtelecharge"), download);
    m_mainForm->bindWindowEntry(QStringLiteral("bmaj"), download);
}

QString AppWindows::diskFullSaying(const std::string& folder) const {
    // The tables that the start was to make and made stay: the next start makes the others, as the rest
    // of a creation.
    QStringList made, notMade;
    for (const std::string& file : m_toCreate)
        (xb::platform::FileExists(xb::platform::ResolveCase(folder + file)) ? made : notMade)
            << QString::fromStdString(file);
    if (made.isEmpty()) return GetLangText(Text::DiskFullNothingCreated);
    return GetLangText(Text::DiskFullSomeCreated).arg(made.join(QStringLiteral(", ")), notMade.join(QStringLiteral(", ")));
}

void AppWindows::askAboutDamage() {
    const std::string folder = GetAppDir().toStdString();
    // The check may create, reindex or repair tables, each alone.
    ReleaseKeptTables();
    // What a creation cut short left (locks nobody holds, staging folders) goes before anything is looked at.
    ClearCreationLeftovers(folder);
    bool firstStart = false;
    std::vector<TableProblem> problems = CheckLeagueDatabase(folder, &firstStart);
    StopIfRequested();
    if (firstStart || CreatesTables(problems)) {
        // Tables are to be made, and another station starting at the same moment may be making them:
        // its tables, companions first, appear one after the other. Only one station at a time looks and
        // creates, under the lock of the database's creation; the other waits, saying so, and then finds
        // the tables made. A table's own creation lock held by a station (one restoring, say) is waited
        // for too: the engine would wait for it without a word.
        const std::string target = folder + kCreationLockTarget;
        WaitWhileSaying(
            [&] {
                xb::platform::ForgetListedNames();
                if (!m_creation || !m_creation->held())
                    m_creation = std::make_unique<xb::platform::CreationLockIfFree>(target);
                if (!m_creation->held() && m_creation->result() != xb::platform::kErrLockViolation) {
                    // Something other than a lock file bears the name: the check names it below.
                    m_creation.reset();
                    return true;
                }
                return m_creation->held() && CreationLocksHeld(folder).empty();
            },
            [&] {
                xb::platform::ForgetListedNames();
                std::vector<std::string> held = CreationLocksHeld(folder);
                if (!m_creation || !m_creation->held())
                    held.insert(held.begin(), "." + std::string(kCreationLockTarget) + ".lock");
                return GetLangText(Text::WaitingForCreation).arg(joined(held));
            });
        problems = CheckLeagueDatabase(folder, &firstStart);
        StopIfRequested();
    }
    KeepTablesAsTheyAre(TablesKeptReadOnly(problems), TablesKeptUnpacked(problems));
    m_toCreate.clear();
    for (const LeagueTable& t : LeagueTables()) {
        const bool missing = std::any_of(problems.begin(), problems.end(), [&](const TableProblem& p) {
            return p.file == t.file && (p.kind == TableDamage::Missing || p.kind == TableDamage::NotAFile);
        });
        if (missing || (firstStart && !xb::platform::FileExists(xb::platform::ResolveCase(folder + t.file))))
            m_toCreate.push_back(t.file);
    }
    if (problems.empty()) return;
    const bool choice = std::all_of(problems.begin(), problems.end(), [](const TableProblem& p) {
        return CanGoOnWith(p) || GoesOnMovedAside(p);
    });
    const bool aside = std::any_of(problems.begin(), problems.end(), GoesOnMovedAside);
    const std::string asideName = aside ? AsideFolderName(folder) : std::string();
    const QString question = !choice ? GetLangText(Text::ProgramStopsUnchanged)
                             : aside
                                 ? GetLangText(Text::MoveAsideOrStop).arg(QString::fromStdString(asideName))
                                 : GetLangText(Text::GoOnOrStopUnchanged);
    QString text = DescribeProblems(problems) + QStringLiteral("\n\n") + question;
    const QString details = DescribeProblemDetails(problems);
    // Logged as well, as a failed start is: the question names what the user is asked about.
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    if (!details.isEmpty()) std::fprintf(stderr, "%s\n", details.toLocal8Bit().constData());
    const int answer = xb::platform::CurrentUi().messageBoxWithDetails(
        text.toStdString(), details.toStdString(), kApplicationTitle,
        choice ? xb::platform::kMbYesNo | xb::platform::kMbIconQuestion
               : xb::platform::kMbOk | xb::platform::kMbIconStop);
    if (!choice || answer != xb::platform::kIdYes) {
        KeepTablesAsTheyAre({}, {});
        m_creation.reset();
        throw StartupStopped(text.toStdString());
    }
    std::string failed;
    if (aside && !MoveAside(folder, asideName, problems, &failed)) {
        KeepTablesAsTheyAre({}, {});
        throw StartupError(GetLangText(Text::MoveAsideFailed)
                               .arg(QString::fromStdString(failed), QString::fromStdString(asideName))
                               .toStdString());
    }
}

AppWindows::~AppWindows() {
    KeepTablesAsTheyAre({}, {});
    ftelecharge = nullptr;
    m_ftelecharge.reset();
    Form10 = nullptr;
    m_form10.reset();
    fpara = nullptr;
    m_fpara.reset();
    fsysteme = nullptr;
    m_fsysteme.reset();
    AboutBox = nullptr;
    m_aboutBox.reset();
    m_mainForm.reset();
    m_exchange.reset();
}

void ShowHaltMessage(const std::string& text, uint16_t code) {
    std::fprintf(stderr, "Program halted. %s (status %d)\n", text.c_str(), xb::ExitStatusOf(code));
    xb::EngineMessageBox(text, "Program halted.", xb::platform::kMbOk | xb::platform::kMbIconStop);
}

int RunProgram(int argc, char** argv, const WindowEntries& later) {
    const long long entered = StartMeasure::Now();
    const std::string measureFile = TakeMeasureSwitch(argc, argv);
    xb::Engine engine;
    xb::InstallEngineUnits(engine);
    HttpLibraryScope http;
    int status = 0;
    {
        Application application(argc, argv);
        xb::QtEngineUi engineUi;
        xb::SetHaltHandler(ShowHaltMessage);
        DesktopShell shell;
        xb::platform::SetShell(&shell);
        // Installed first, so that a signal also dismisses the message of a failed start.
        TerminationSignals termination(nullptr);
        std::unique_ptr<AppWindows> windows;
        try {
            windows = std::make_unique<AppWindows>(BuiltInExchangeSettings(), later);
        } catch (const StartupStopped& e) {
            std::fprintf(stderr, "%s\n", e.what());
            status = 1;
        } catch (const StartupError& e) {
            std::fprintf(stderr, "%s\n", e.what());
            xb::platform::CurrentUi().messageBox(e.what(), kApplicationTitle,
                                                 xb::platform::kMbOk | xb::platform::kMbIconStop);
            status = 1;
        }
        if (windows) {
            termination.setWindow(windows->mainForm());
            std::unique_ptr<StartMeasure> measure;
            if (!measureFile.empty()) {
                measure = std::make_unique<StartMeasure>(measureFile, windows->mainForm());
                measure->entered = entered;
            }
            windows->mainForm()->show();
            status = application.exec();
            // A signal before the first activation was over stopped the start, as one before the window.
            if (TerminationSignalled() && !windows->mainForm()->started()) status = 1;
            windows.reset();
        }
        xb::SetHaltHandler(nullptr);
        xb::platform::SetShell(nullptr);
    }
    engine.shutdown();
    return status;
}

}  // namespace app
