// The engine's windows on Qt: TXbMsg (a borderless yellow window with one line of text), TXbProgress100
// (a bar of 100 "|" that loses one per step), TDialogForm (message, icon and one button per caption,
// answering the hotkey letter of the pressed button), and QtEngineUi, which puts them behind the
// platform's UI seam. Updates repaint at once and process no other events, so that a click cannot run
// another command in the middle of an engine operation.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace xb {

class TXbMsg : public QWidget {
    Q_OBJECT
public:
    explicit TXbMsg(QWidget* owner = nullptr);
    // Shows the text (an empty text keeps the previous one), growing and centring the window as needed.
    void ShowText(const QString& text);
    QString Text() const { return m_text; }
    void SetCaption(const QString& caption);

protected:
    QFrame* m_outer;
    QLabel* m_inner;
    QString m_text;
    QString m_caption;
    QPointer<QWidget> m_activeAtCreation;
};

class TXbProgress100 : public TXbMsg {
    Q_OBJECT
public:
    explicit TXbProgress100(QWidget* owner = nullptr);
    static TXbProgress100* CreateWithCaption(QWidget* owner, const QString& caption);
    // One step: the bar loses one "|"; an empty bar is filled again with 100.
    void Step();
    const QString& Bar() const { return m_bar; }

private:
    QString m_bar;
};

class TDialogForm : public QDialog {
    Q_OBJECT
public:
    explicit TDialogForm(QWidget* parent = nullptr) : QDialog(parent) {}
    // Captions in button order, "&" marking the hotkey.
    std::vector<QString> captions;
    // The hotkey letter of button n (1-based) by the seam's one rule (platform::HotkeyOf); a blank for 0
    // (closed without a button).
    char HotkeyOfResult(int result) const;
};

// Builds the dialog. Text: " CENTERTEXT" (any case) is removed and centres the text; line breaks and ";"
// start new lines. Captions are shown as given (an empty list gives "&OK"). Mode 2 is the message form.
std::unique_ptr<TDialogForm> BuildDialogForm(const QString& caption, const QString& kind, const QString& text,
                                             int mode, const std::vector<QString>& captions);
// The same with the blank-separated caption list ("&Oui &Non").
std::unique_ptr<TDialogForm> BuildDialogForm(const QString& caption, const QString& kind, const QString& text,
                                             int mode, const QString& buttons);

// Text handed through the seam: UTF-8 when it is valid UTF-8, else the engine's Windows-1252.
QString SeamText(const std::string& text);
// The text with places to break each word too long for a line (a long file name): a box wraps it within
// its width instead of running past its edge. The places are invisible.
QString BreakableText(const QString& text);

// The Qt windows behind the UI seam. Installed while it lives.
class QtEngineUi : public platform::Ui {
public:
    QtEngineUi();
    ~QtEngineUi() override;
    int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
    int messageBoxWithDetails(const std::string& text, const std::string& details, const std::string& caption,
                              unsigned flags) override;
    char dialog(const std::string& caption, char icon, const std::string& text, const std::string& buttons) override;
    void progressStart(const std::string& caption, long total) override;
    void progressStep(long done) override;
    void progressEnd() override;
    TXbProgress100* progressWindow() const { return m_progress.get(); }

private:
    platform::Ui* m_previous;
    std::unique_ptr<TXbProgress100> m_progress;
};

}  // namespace xb
