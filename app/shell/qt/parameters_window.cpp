#include "app/shell/qt/parameters_window.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QShowEvent>

#include "app/settings/lang_texts.h"
#include "app/data/league_code_page.h"
#include "app/settings/param_file.h"
#include "app/shell/qt/window_texts.h"
#include "platform/ui.h"
#include "ui_Tfpara.h"

namespace app {

Tfpara* fpara = nullptr;

namespace {

constexpr int kHtmlTextMax = 255;
constexpr int kLabelMax = 2;

// A memo that holds at most max characters: longer input (typed or pasted) is cut at the end.
void limitLength(QPlainTextEdit* memo, int max) {
    QObject::connect(memo, &QPlainTextEdit::textChanged, memo, [memo, max] {
        const QString text = memo->toPlainText();
        if (text.size() <= max) return;
        QTextCursor cursor = memo->textCursor();
        const int position = std::min(cursor.position(), max);
        memo->setPlainText(text.left(max));
        cursor = memo->textCursor();
        cursor.setPosition(position);
        memo->setTextCursor(cursor);
    });
}

}  // namespace

const std::vector<WindowText>& Tfpara::Texts() {
    static const std::vector<WindowText> texts = {
        {"bok", Text::OkButton, TextRole::kCaption},
        {"bquit", Text::Quit, TextRole::kCaption},
        {"gdivers", Text::MiscellaneousMenu, TextRole::kCaption},
        {"lhtml1", Text::HtmlTopCode, TextRole::kCaption},
        {"lhtml2", Text::HtmlBottomCode, TextRole::kCaption},
        {"TabSheet1", Text::GeneralTab, TextRole::kCaption},
        {"TabSheet2", Text::HtmlExport, TextRole::kCaption},
        {"Tfpara", Text::ParametersTitle, TextRole::kCaption},
        {"glangue", Text::Language, TextRole::kCaption},
        {"cnul", Text::HideDrawColumn, TextRole::kCaption},
        {"lbp", Text::GoalsForLabel, TextRole::kCaption},
        {"lbc", Text::GoalsAgainstLabel, TextRole::kCaption},
        {"clancenavigateur", Text::RunBrowser, TextRole::kCaption},
    };
    return texts;
}

Tfpara::Tfpara(QWidget* parent) : QWidget(parent, Qt::Window), ui(std::make_unique<Ui::Tfpara>()) {
    ui->setupUi(this);
    limitLength(ui->mhtml1, kHtmlTextMax);
    limitLength(ui->mhtml2, kHtmlTextMax);
    connect(ui->bok, &QPushButton::clicked, this, &Tfpara::bokClick);
    connect(ui->bquit, &QPushButton::clicked, this, &Tfpara::bquitClick);
}

Tfpara::~Tfpara() {
    if (fpara == this) fpara = nullptr;
}

QRadioButton* Tfpara::languageButton(int language) const {
    QRadioButton* buttons[] = {ui->rfrancais, ui->ranglais, ui->rportugais, ui->respagnol,
                               ui->ritalien,  ui->rcroatie, ui->rsweden,    ui->rdanmark};
    if (language < 1 || language > kLanguageCount) return nullptr;
    return buttons[language - 1];
}

void Tfpara::FormActivate() {
    // A language file replaces every text whatever the language, so the choice would change nothing.
    const Tgerelanguage* manager = LanguageManager();
    ui->glangue->setVisible(!(manager && manager->loaded()));
    ApplyWindowTexts(this, Texts());
}

void Tfpara::showSettings() {
    QRadioButton* chosen = languageButton(LanguageIndex);
    (chosen ? chosen : ui->rfrancais)->setChecked(true);
    ui->cnul->setChecked(HideDrawsFlag == 1);
    ui->mhtml1->setPlainText(HtmlHeaderText);
    ui->mhtml2->setPlainText(HtmlFooterText);
    ui->Ebp->setText(Params.goalsForLabel);
    ui->ebc->setText(Params.goalsAgainstLabel);
    ui->clancenavigateur->setChecked(Params.openAfterExport == 1);
}

void Tfpara::bokClick() {
    int language = 1;
    for (int l = 2; l <= kLanguageCount; ++l) {
        if (languageButton(l)->isChecked()) language = l;
    }
    const bool languageChanged = language != LanguageIndex;
    LanguageIndex = language;
    // The database keeps the code page it was written in: say so when it cannot hold the new language.
    if (languageChanged) {
        if (const QString notice = CodePageNotice(language); !notice.isEmpty())
            xb::platform::CurrentUi().messageBox(notice.toStdString(),
                                                 GetLangText(Text::ParametersTitle).toStdString(),
                                                 xb::platform::kMbOk | xb::platform::kMbIconInformation);
    }
    HideDrawsFlag = ui->cnul->isChecked() ? 1 : 0;
    HtmlHeaderText = ui->mhtml1->toPlainText().left(kHtmlTextMax);
    HtmlFooterText = ui->mhtml2->toPlainText().left(kHtmlTextMax);
    Params.goalsForLabel = ui->Ebp->text().left(kLabelMax);
    Params.goalsAgainstLabel = ui->ebc->text().left(kLabelMax);
    Params.openAfterExport = ui->clancenavigateur->isChecked() ? 1 : 0;
    // Written now, as the file is written: a run that is killed or a station started next keeps them.
    WriteParamFile();
    close();
}

void Tfpara::bquitClick() {
    close();
}

void Tfpara::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        showSettings();
        FormActivate();
    }
    QWidget::showEvent(event);
}

void Tfpara::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
    QWidget::changeEvent(event);
}

}  // namespace app
