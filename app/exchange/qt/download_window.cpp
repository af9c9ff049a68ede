#include "app/exchange/qt/download_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMetaObject>
#include <QPointer>

#include "app/exchange/server_exchange.h"
#include "app/settings/app_files.h"
#include "app/settings/lang_texts.h"
#include "platform/ui.h"
#include "ui_Tftelecharge.h"

namespace app {

Tftelecharge* ftelecharge = nullptr;

namespace {

constexpr Text kTextBusyButton = Text::StopOperation;
constexpr Text kTextStartButton = Text::UpdateDatabaseButton;

// The hourglass for as long as the scope lasts.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

}  // namespace

Tftelecharge::Tftelecharge(ServerExchange* exchange, QWidget* parent)
    : QDialog(parent),
      ui(std::make_unique<Ui::Tftelecharge>()),
      m_exchange(exchange),
      m_settings(exchange ? exchange->settings() : BuiltInExchangeSettings()) {
    ui->setupUi(this);
    setObjectName(QStringLiteral("ftelecharge"));
    connect(ui->blance, &QPushButton::clicked, this, &Tftelecharge::blanceClick);
    connect(ui->bquit, &QPushButton::clicked, this, &Tftelecharge::bquitClick);
    // Neither button is the default one: Enter must not start a download or stop it by accident.
    ui->blance->setAutoDefault(false);
    ui->bquit->setAutoDefault(false);
}

Tftelecharge::~Tftelecharge() {
    m_cancel = true;
    joinTransfer();
    releaseCursor();
}

const std::vector<WindowText>& Tftelecharge::Texts() {
    static const std::vector<WindowText> texts = {
        {"ftelecharge", Text::InternetUpdateCaption, TextRole::kCaption},
        {"labtitre1", Text::InternetMustBeActive, TextRole::kCaption},
        {"blance", kTextStartButton, TextRole::kCaption},
        {"bquit", Text::Quit, TextRole::kCaption},
    };
    return texts;
}

void Tftelecharge::TranslateDownloadForm() {
    ApplyWindowTexts(this, Texts());
    if (m_busy) ui->blance->setText(GetLangText(kTextBusyButton));
}

void Tftelecharge::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
    FormActivate();
}

void Tftelecharge::FormShow() {
    m_busy = false;
}

void Tftelecharge::FormActivate() {
    TranslateDownloadForm();
    ui->Pbarre->setValue(0);
    m_abort = false;
}

void Tftelecharge::closeEvent(QCloseEvent* event) {
    // The window cannot go while a download runs: its end still has to be taken.
    if (m_busy) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void Tftelecharge::reject() {
    if (m_busy) return;  // Esc and the title bar's close while busy
    QDialog::reject();
}

void Tftelecharge::bquitClick() {
    if (m_busy) return;
    close();
}

void Tftelecharge::blanceClick() {
    if (m_busy) {
        // Stop: the transfer ends at its next callback and restores nothing.
        m_cancel = true;
        ui->Pbarre->setValue(0);
        m_abort = true;
        ui->blance->setText(GetLangText(kTextStartButton));
        m_busy = false;
        ui->bquit->setEnabled(true);
        releaseCursor();
        return;
    }
    if (m_exchange && InternetConnected(m_settings)) m_exchange->Start(true, kEventImport, false, "");
    m_abort = false;
    ui->blance->setText(GetLangText(kTextBusyButton));
    DownloadDatabase();
    if (!m_busy) ui->blance->setText(GetLangText(kTextStartButton));
}

void Tftelecharge::DownloadDatabase() {
    const int answer = xb::platform::CurrentUi().messageBox(
        GetLangText(Text::RestoreEraseWarning).toStdString(), GetLangText(Text::Confirmation).toStdString(),
        xb::platform::kMbYesNo | xb::platform::kMbIconWarning | xb::platform::kMbDefButton2);
    if (answer != xb::platform::kIdYes) return;
    joinTransfer();  // a cancelled run may still be ending
    m_busy = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_cursorSet = true;
    ui->bquit->setEnabled(false);
    m_abort = false;
    m_cancel = false;
    DownloadRequest request = DatabaseDownloadRequest(m_settings, GetAppDir().toStdString());
    m_dest = request.dest;
    const unsigned run = ++m_run;
    QPointer<Tftelecharge> self(this);
    request.onWorkBegin = [self](int64_t total) {
        QMetaObject::invokeMethod(
            self,
            [self, total] {
                if (self) self->IdHTTP1WorkBegin(total);
            },
            Qt::QueuedConnection);
    };
    request.onWork = [self](int64_t received) {
        QMetaObject::invokeMethod(
            self,
            [self, received] {
                if (self) self->IdHTTP1Work(received);
            },
            Qt::QueuedConnection);
    };
    m_transfer = std::thread([this, self, request, run] {
        DownloadResult result = DownloadFile(request, m_cancel);
        QMetaObject::invokeMethod(
            self,
            [self, run, result] {
                if (self) self->downloadDone(run, result);
            },
            Qt::QueuedConnection);
    });
}

void Tftelecharge::IdHTTP1WorkBegin(qint64 count) {
    if (!m_busy) return;
    // The bar counts in kilobytes so that archives beyond 2 GB still fit its int range.
    ui->Pbarre->setMaximum(count > 0 ? static_cast<int>((count + 1023) / 1024) : 0);
    ui->Pbarre->setValue(0);
}

void Tftelecharge::IdHTTP1Work(qint64 count) {
    if (!m_busy || ui->Pbarre->maximum() == 0) return;
    ui->Pbarre->setValue(static_cast<int>(std::min<qint64>(count / 1024, ui->Pbarre->maximum())));
}

void Tftelecharge::downloadDone(unsigned run, DownloadResult result) {
    joinTransfer();
    if (run != m_run) return;
    releaseCursor();
    m_lastDownload = result;
    m_lastRestore = RestoreResult{};
    if (result.ok && !m_abort && m_busy) {
        if (m_beforeRestore) m_beforeRestore();
        {
            WaitCursor wait;
            m_lastRestore = RestoreDatabase(GetAppDir().toStdString(), m_dest);
        }
        m_busy = false;
        ui->blance->setText(GetLangText(kTextStartButton));
        ui->bquit->setEnabled(true);
        ReportRestoreResult(m_lastRestore);
    } else if (!result.ok) {
        // A failed or cancelled download restores nothing: the database is as it was. A cancel is the
        // user's own doing; any other failure says why.
        m_abort = true;
        if (!result.cancelled && !result.reason.empty())
            xb::platform::CurrentUi().messageBox(result.reason, GetLangText(Text::ErrorCaption).toStdString(),
                                                 xb::platform::kMbOk | xb::platform::kMbIconWarning);
    }
    m_busy = false;
    ui->Pbarre->setValue(0);
    ui->blance->setText(GetLangText(kTextStartButton));
    ui->bquit->setEnabled(true);
    emit downloadEnded();
}

void Tftelecharge::releaseCursor() {
    if (m_cursorSet) QApplication::restoreOverrideCursor();
    m_cursorSet = false;
}

void Tftelecharge::joinTransfer() {
    if (m_transfer.joinable()) m_transfer.join();
}

}  // namespace app
