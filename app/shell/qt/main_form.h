// The main window: its menus, action list and buttons open the working windows; its first activation
// reads the settings and offers the language choice; its close packs the tables and writes the settings.
#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "app/settings/lang_text_ids.h"
#include "app/data/table_pack.h"

class QAction;
class QDialog;
class QLabel;
class QWidget;

namespace Ui {
class TMainForm;
}

namespace app {

class TDegradeClass;
class Tgerelanguage;

// The help pages, relative to the program's folder, where the build puts resources/help: one page per
// language, the English one without a language suffix ("help/pelmorad32-fr.html", "help/pelmorad32.html").
inline constexpr const char* kHelpFileName = "help/pelmorad32.html";
// The help page of a language (LanguageIndex), relative to the program's folder.
QString HelpFileName(int language);

// One row of the main window's text table: the component, the texts of its caption and hint
// (Text::None: not set), or a fixed caption, and a fixed suffix added to the hint.
struct MainFormText {
    const char* component;
    Text caption;
    Text hint;
    const char* fixedCaption;
    const char* hintSuffix;
};
std::span<const MainFormText> MainFormTexts();

// An entry of the main window (action or tool-bar button) that shows a window of another folder. The
// program, which links every window library, names them; the main window knows their windows only so.
struct WindowEntry {
    QString entry;
    std::function<void()> show;
};
using WindowEntries = std::vector<WindowEntry>;

// The server exchange as the main window sees it: the maker's web host (empty: the build has no server),
// the start of the exchange at the first activation and its stop at the close.
struct ServerLink {
    QString baseUrl;
    std::function<void()> start;
    std::function<void()> stop;
};

// The picture shown beside the caption panel.
QImage DrawMainPicture(const QSize& size);

class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // The texts of the table in the current language; run on every activation.
    void TranslateMainForm();

    // Whether the first activation is still to come, and whether it found no parameter file.
    bool firstActivationPending() const { return m_firstActivation; }
    // Whether the first activation ran to its end (the settings read or chosen, the exchange started):
    // a close before it is that of a start stopped, which writes nothing.
    bool started() const { return m_started; }
    Tgerelanguage* languageManager() const { return m_language.get(); }
    // The exchange the first activation starts and the close stops; its server also gives the product page
    // and the live results. Without a server those two entries and the download entries are hidden.
    void setServerLink(ServerLink link);
    const ServerLink& serverLink() const { return m_server; }

    // Makes an entry (a menu item, an action of ActionList1 or a tool-bar button) run show, typically showing
    // a window of another folder: the entry is enabled and runs show. Menu items bound to the action follow
    // it. The download entries (mtelecharge, bmaj) are shown only while there is a server.
    void bindWindowEntry(const QString& entry, std::function<void()> show);

    // What the close did to each table.
    const std::vector<TablePackResult>& packResults() const { return m_packResults; }

public slots:
    void HelpAbout1Execute();
    void aparametreExecute();
    void aidegeneraleExecute();
    void aquitterExecute();
    void msitewebClick();
    void blivescoreClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    TDegradeClass* DegradeClass1 = nullptr;

private:
    void FormCreate();
    void FormActivate();
    void FormClose();
    void bindEntries();
    void showServerEntries();

    std::unique_ptr<Ui::TMainForm> ui;
    bool m_firstActivation = true;
    bool m_paramFileMissing = false;
    bool m_settingsKnown = false;  // read from the file, chosen in this run, or a first run's with a language file
    bool m_started = false;
    bool m_closed = false;
    std::unique_ptr<Tgerelanguage> m_language;
    std::vector<TablePackResult> m_packResults;
    ServerLink m_server;
    bool m_downloadBound = false;
};

extern TMainForm* MainForm;

}  // namespace app
