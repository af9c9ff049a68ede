// The first-run language choice: eight languages, each with its flag, French chosen at start. OK stores
// the choice in LanguageIndex and closes the window.
#pragma once

#include <QDialog>
#include <QImage>
#include <QSize>
#include <memory>

class QLabel;
class QRadioButton;

namespace Ui {
class TForm10;
}

namespace app {

// The flag shown beside a language (1..8), drawn by our own code; a transparent image for any other
// number.
QImage DrawLanguageFlag(int language, const QSize& size);

class TForm10 : public QDialog {
    Q_OBJECT

public:
    explicit TForm10(QWidget* parent = nullptr);
    ~TForm10() override;

    // The radio button of a language (1..8), nullptr for any other number.
    QRadioButton* languageButton(int language) const;

    // True once the user chose to quit rather than pick a language (the dialog is then rejected).
    bool quitChosen() const { return m_quitChosen; }

public slots:
    void bokClick();
    void bquitClick();

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<Ui::TForm10> ui;
    QRadioButton* m_buttons[8] = {};
    QLabel* m_flags[8] = {};
    bool m_quitChosen = false;
};

// The instance the main window creates and shows on the first run.
extern TForm10* Form10;

}  // namespace app
