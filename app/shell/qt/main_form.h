// The main window: its menus, action list and buttons open the working windows; its first activation
// reads the settings and offers the language choice; its close packs the tables and writes the settings.
#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "app/shell/table_pack.h"

class QAction;
class QLabel;
class QWidget;

namespace Ui {
class TMainForm;
}

namespace app {

class ServerExchange;
class TDegradeClass;
class Tgerelanguage;

// The help page, relative to the data directory; the build puts resources/help beside the program.
inline constexpr const char* kHelpFileName = "help/pelmorad32.html";

// One row of the main window's text table: the component, the text numbers of its caption and hint
// (0: not set), or a fixed caption, and a fixed suffix added to the hint.
struct MainFormText {
    const char* component;
    int caption;
    int hint;
    const char* fixedCaption;
    const char* hintSuffix;
};
std::span<const MainFormText> MainFormTexts();

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
    Tgerelanguage* languageManager() const { return m_language.get(); }
    // The exchange the first activation starts its thread on and the close stops; its server also gives
    // the product page and the live results (both entries are disabled without one).
    void setServerExchange(ServerExchange* exchange);

    // Makes an entry (an action of ActionList1 or a tool-bar button) show a window of a later folder: the
    // entry is enabled and runs show. Menu items bound to the action follow it.
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

    std::unique_ptr<Ui::TMainForm> ui;
    bool m_firstActivation = true;
    bool m_paramFileMissing = false;
    bool m_closed = false;
    std::unique_ptr<Tgerelanguage> m_language;
    std::vector<TablePackResult> m_packResults;
    ServerExchange* m_exchange = nullptr;
};

extern TMainForm* MainForm;

}  // namespace app
