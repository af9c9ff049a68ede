#include "app/shell/qt/language_choice.h"

#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScreen>

#include "app/settings/lang_texts.h"
#include "ui_TForm10.h"

namespace app {

TForm10* Form10 = nullptr;

namespace {

constexpr QSize kFlagSize(36, 24);

void FillRect(QPainter& p, double x, double y, double w, double h, QColor color) {
    p.fillRect(QRectF(x, y, w, h), color);
}

// Equal stripes, vertical (left to right) or horizontal (top to bottom).
void Stripes(QPainter& p, double w, double h, bool vertical, std::initializer_list<QColor> colors) {
    const double n = static_cast<double>(colors.size());
    double i = 0;
    for (const QColor& c : colors) {
        if (vertical) {
            FillRect(p, i * w / n, 0, w / n + 0.5, h, c);
        } else {
            FillRect(p, 0, i * h / n, w, h / n + 0.5, c);
        }
        ++i;
    }
}

// A Nordic cross: its vertical bar starts at `at` of the width, both bars `bar` of the height thick.
void NordicCross(QPainter& p, double w, double h, QColor field, QColor cross, double at, double bar) {
    FillRect(p, 0, 0, w, h, field);
    FillRect(p, w * at, 0, h * bar, h, cross);
    FillRect(p, 0, h * (0.5 - bar / 2), w, h * bar, cross);
}

void UnionFlag(QPainter& p, double w, double h) {
    FillRect(p, 0, 0, w, h, QColor(0x01, 0x21, 0x69));
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(Qt::white, h / 5.0));
    p.drawLine(QPointF(0, 0), QPointF(w, h));
    p.drawLine(QPointF(0, h), QPointF(w, 0));
    p.setPen(QPen(QColor(0xC8, 0x10, 0x2E), h / 15.0));
    p.drawLine(QPointF(0, 0), QPointF(w, h));
    p.drawLine(QPointF(0, h), QPointF(w, 0));
    p.setRenderHint(QPainter::Antialiasing, false);
    FillRect(p, w / 2 - h / 6, 0, h / 3, h, Qt::white);
    FillRect(p, 0, h / 3, w, h / 3, Qt::white);
    FillRect(p, w / 2 - h / 10, 0, h / 5, h, QColor(0xC8, 0x10, 0x2E));
    FillRect(p, 0, h * 0.4, w, h / 5, QColor(0xC8, 0x10, 0x2E));
}

void PortugueseFlag(QPainter& p, double w, double h) {
    FillRect(p, 0, 0, w * 0.4, h, QColor(0x00, 0x66, 0x00));
    FillRect(p, w * 0.4, 0, w * 0.6, h, QColor(0xFF, 0x00, 0x00));
    p.setRenderHint(QPainter::Antialiasing, true);
    const QPointF centre(w * 0.4, h / 2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0xFF, 0x00));
    p.drawEllipse(centre, h / 4, h / 4);
    p.setBrush(QColor(0xFF, 0x00, 0x00));
    p.drawRoundedRect(QRectF(centre.x() - h / 9, centre.y() - h / 8, 2 * h / 9, h / 4), h / 30, h / 30);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(centre.x() - h / 18, centre.y() - h / 14, h / 9, h / 7));
}

void CroatianFlag(QPainter& p, double w, double h) {
    Stripes(p, w, h, false, {QColor(0xFF, 0x00, 0x00), Qt::white, QColor(0x17, 0x17, 0x96)});
    // The chequered shield across the middle stripe: 5 by 5 squares, red first.
    const double side = h / 12;
    const double left = w / 2 - 2.5 * side;
    const double top = h / 2 - 2.5 * side;
    FillRect(p, left - 1, top - 1, 5 * side + 2, 5 * side + 2, QColor(0x17, 0x17, 0x96));
    for (int r = 0; r < 5; ++r) {
        for (int c = 0; c < 5; ++c) {
            FillRect(p, left + c * side, top + r * side, side, side,
                     (r + c) % 2 ? Qt::white : QColor(0xFF, 0x00, 0x00));
        }
    }
}

QPixmap FlagPixmap(int language) {
    return QPixmap::fromImage(DrawLanguageFlag(language, kFlagSize));
}

}  // namespace

QImage DrawLanguageFlag(int language, const QSize& size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (language < 1 || language > kLanguageCount || size.isEmpty()) return image;
    QPainter p(&image);
    const double w = size.width();
    const double h = size.height();
    switch (language) {
        case 1:
            Stripes(p, w, h, true, {QColor(0x00, 0x55, 0xA4), Qt::white, QColor(0xEF, 0x41, 0x35)});
            break;
        case 2:
            UnionFlag(p, w, h);
            break;
        case 3:
            PortugueseFlag(p, w, h);
            break;
        case 4:
            FillRect(p, 0, 0, w, h, QColor(0xAA, 0x15, 0x1B));
            FillRect(p, 0, h / 4, w, h / 2, QColor(0xF1, 0xBF, 0x00));
            break;
        case 5:
            Stripes(p, w, h, true, {QColor(0x00, 0x92, 0x46), Qt::white, QColor(0xCE, 0x2B, 0x37)});
            break;
        case 6:
            CroatianFlag(p, w, h);
            break;
        case 7:
            NordicCross(p, w, h, QColor(0x00, 0x6A, 0xA7), QColor(0xFE, 0xCC, 0x00), 5.0 / 16, 0.2);
            break;
        case 8:
            NordicCross(p, w, h, QColor(0xC8, 0x10, 0x2E), Qt::white, 12.0 / 37, 1.0 / 7);
            break;
    }
    // A thin frame keeps the white parts of a flag apart from the window behind it.
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(0, 0, size.width() - 1, size.height() - 1));
    return image;
}

TForm10::TForm10(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TForm10>()) {
    ui->setupUi(this);
    QRadioButton* buttons[] = {ui->lfrancais, ui->langlais, ui->lportugais, ui->respagnol,
                               ui->litalien,  ui->lcroatie, ui->lsweden,    ui->lDanmark};
    QLabel* flags[] = {ui->flagfrancais, ui->flaganglais, ui->flagportugais, ui->flagespagnol,
                       ui->flagitalien,  ui->flagcroatie, ui->flagsweden,    ui->flagDanmark};
    for (int i = 0; i < kLanguageCount; ++i) {
        m_buttons[i] = buttons[i];
        m_flags[i] = flags[i];
        m_flags[i]->setPixmap(FlagPixmap(i + 1));
        m_flags[i]->installEventFilter(this);
    }
    connect(ui->bok, &QPushButton::clicked, this, &TForm10::bokClick);
    connect(ui->bquit, &QPushButton::clicked, this, &TForm10::bquitClick);
    ui->bquit->setText(GetLangText(Text::Quit));
    // The window manager cuts a title wider than the title bar: leave room for it (in the title bar's
    // larger bold font) and for the bar's buttons.
    QFont title = font();
    title.setBold(true);
    if (title.pointSizeF() > 0) title.setPointSizeF(title.pointSizeF() * 1.25);
    setMinimumWidth(std::max(minimumWidth(), QFontMetrics(title).horizontalAdvance(windowTitle()) + 160));
    // The choices keep their own width in the wider window: a click beside a label chooses nothing.
    for (QRadioButton* b : m_buttons)
        b->setSizePolicy(QSizePolicy::Maximum, b->sizePolicy().verticalPolicy());
}

TForm10::~TForm10() {
    if (Form10 == this) Form10 = nullptr;
}

QRadioButton* TForm10::languageButton(int language) const {
    if (language < 1 || language > kLanguageCount) return nullptr;
    return m_buttons[language - 1];
}

void TForm10::bokClick() {
    // French unless a later language is checked.
    int language = 1;
    for (int i = 1; i < kLanguageCount; ++i) {
        if (m_buttons[i]->isChecked()) {
            language = i + 1;
            break;
        }
    }
    LanguageIndex = language;
    accept();
}

void TForm10::bquitClick() {
    m_quitChosen = true;
    reject();
}

void TForm10::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
}

bool TForm10::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        for (int i = 0; i < kLanguageCount; ++i) {
            if (watched == m_flags[i]) {
                m_buttons[i]->setChecked(true);
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace app
