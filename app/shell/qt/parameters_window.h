// The parameters window: language, hidden draws column, goal column labels, the HTML texts of exported
// pages and whether an exported page is opened. Modeless; OK stores into the settings and writes the
// settings file, Quit keeps them.
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "app/shell/qt/window_texts.h"

class QRadioButton;

namespace Ui {
class Tfpara;
}

namespace app {

class Tfpara : public QWidget {
    Q_OBJECT

public:
    explicit Tfpara(QWidget* parent = nullptr);
    ~Tfpara() override;

    // The window's texts: component, text number.
    static const std::vector<WindowText>& Texts();
    // The radio button of a language (1..8), nullptr for any other number.
    QRadioButton* languageButton(int language) const;

public slots:
    // Texts in the current language; the language group hidden while a language file is loaded.
    void FormActivate();
    void bokClick();
    void bquitClick();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The settings into the controls: once per showing, so that visiting another window keeps edits.
    void showSettings();

    std::unique_ptr<Ui::Tfpara> ui;
};

extern Tfpara* fpara;

}  // namespace app
