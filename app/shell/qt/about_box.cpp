#include "app/shell/qt/about_box.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QScreen>
#include <cmath>

#include "app/settings/lang_texts.h"
#include "ui_TAboutBox.h"

namespace app {

TAboutBox* AboutBox = nullptr;

namespace {

// A ball on a green disc: a white circle, a dark pentagon in its middle and five seams out of it.
QPixmap drawIcon(int side) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(side / 2.0, side / 2.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2E, 0x8B, 0x3A));
    p.drawEllipse(c, side / 2.0 - 1, side / 2.0 - 1);
    const double r = side * 0.36;
    p.setBrush(Qt::white);
    p.setPen(QPen(QColor(0x20, 0x20, 0x20), side / 40.0));
    p.drawEllipse(c, r, r);
    QPainterPath pentagon;
    const double pr = r * 0.38;
    for (int k = 0; k < 5; ++k) {
        const double a = -M_PI / 2 + k * 2 * M_PI / 5;
        const QPointF v(c.x() + pr * std::cos(a), c.y() + pr * std::sin(a));
        if (k == 0) {
            pentagon.moveTo(v);
        } else {
            pentagon.lineTo(v);
        }
        p.drawLine(v, QPointF(c.x() + r * std::cos(a), c.y() + r * std::sin(a)));
    }
    pentagon.closeSubpath();
    p.setBrush(QColor(0x20, 0x20, 0x20));
    p.drawPath(pentagon);
    return pixmap;
}

}  // namespace

QIcon ProgramIcon() {
    QIcon icon;
    for (int side : {16, 32, 64}) icon.addPixmap(drawIcon(side));
    return icon;
}

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TAboutBox>()) {
    ui->setupUi(this);
    ui->ProgramIcon->setPixmap(drawIcon(64));
    ui->lversion->setText(QString::fromLatin1(kProgramVersion));
    setWindowIcon(ProgramIcon());
    connect(ui->OKBUTTON, &QPushButton::clicked, this, &TAboutBox::OKBUTTONClick);
}

TAboutBox::~TAboutBox() {
    if (AboutBox == this) AboutBox = nullptr;
}

void TAboutBox::OKBUTTONClick() {
    accept();
}

void TAboutBox::showEvent(QShowEvent* event) {
    ui->OKBUTTON->setText(GetLangText(Text::OkButton));
    QDialog::showEvent(event);
    if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
}

}  // namespace app
