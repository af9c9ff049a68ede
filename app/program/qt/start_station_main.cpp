// The program itself (RunProgram on the folder it is started from), for the process tests of its start:
// it sends itself a termination signal at one moment of the start and answers the first start's language
// choice, as a user and a logout would, at moments a signal from outside would only hit by chance.
//
//   program_start_station MOMENT LANGUAGE [--measure FILE]
//
// MOMENT: none; made (the main window being made, before any table is looked at); shown (the main window
// shown, before its first activation); language (the language choice shown); creation (the second table
// of a creation in place); killed (as creation, but SIGKILL: the station dies where it stands).
// LANGUAGE: 1 to 8 chooses that language when the choice is shown; 0 leaves it open.
// Every message box shown is written to stderr as "BOX: text" and closed, as the user closing it.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "app/program/qt/program.h"
#include "app/program/qt/program_windows.h"
#include "app/settings/app_files.h"
#include "app/shell/qt/language_choice.h"
#include "app/shell/qt/main_form.h"

namespace {

std::string g_moment;
int g_language = 0;

class StartDriver : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (!m_signalled && qobject_cast<app::TMainForm*>(watched) &&
            (g_moment == "made" || (g_moment == "shown" && e->type() == QEvent::Show)))
            signal();
        if (e->type() != QEvent::Show) return false;
        if (auto* choice = qobject_cast<app::TForm10*>(watched)) {
            if (g_moment == "language" && !m_signalled) signal();
            if (g_language >= 1 && g_language <= 8)
                QTimer::singleShot(0, choice, [choice] {
                    choice->languageButton(g_language)->setChecked(true);
                    choice->findChild<QPushButton*>(QStringLiteral("bok"))->click();
                });
        } else if (auto* box = qobject_cast<QMessageBox*>(watched)) {
            std::fprintf(stderr, "BOX: %s\n", box->text().toLocal8Bit().constData());
            QTimer::singleShot(0, box, [box] { box->reject(); });
        }
        return false;
    }

private:
    void signal() {
        m_signalled = true;
        std::raise(SIGTERM);
    }
    bool m_signalled = false;
};

// The creation's moments are watched from a thread: the second table appearing in the folder.
void WatchTheCreation(const std::string& folder, int sig) {
    std::thread([folder, sig] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!std::filesystem::exists(folder + "champion.dbf") && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        ::kill(::getpid(), sig);
    }).detach();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s MOMENT LANGUAGE [--measure FILE]\n", argv[0]);
        return 2;
    }
    g_moment = argv[1];
    g_language = std::atoi(argv[2]);
    if (g_moment == "creation" || g_moment == "killed")
        WatchTheCreation(app::GetAppDir().toStdString(), g_moment == "killed" ? SIGKILL : SIGTERM);
    qAddPreRoutine([] { qApp->installEventFilter(new StartDriver(qApp)); });
    // The program's own arguments (the measurement switch) follow the driver's.
    argv[2] = argv[0];
    return app::RunProgram(argc - 2, argv + 2, app::ProgramWindowEntries());
}
