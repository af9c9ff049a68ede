// Windows kept on the screen and dialogs as wide as their titles and texts.
#include "app/shell/qt/screen_fit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QBoxLayout>
#include <QGraphicsView>
#include <QInputDialog>
#include <QPushButton>
#include <QTableView>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <functional>
#include <memory>

#include "engine/dataset/qt/engine_windows_qt.h"
#include "platform/ui.h"

namespace app {
namespace {

TEST(ScreenFit, AFrameIsMovedInsideAndShrunkNoFurtherThanItsLeast) {
    const QRect screen(0, 0, 1280, 1024);
    const struct {
        QRect frame;
        QSize least;
        QRect fitted;
    } cases[] = {
        {{100, 100, 800, 600}, {400, 300}, {100, 100, 800, 600}},     // inside: left as it is
        {{100, 439, 800, 600}, {400, 300}, {100, 424, 800, 600}},     // 15 px below the screen: moved up
        {{600, 0, 1372, 640}, {900, 300}, {0, 0, 1280, 640}},         // wider than the screen: shrunk
        {{-50, -20, 400, 300}, {100, 100}, {0, 0, 400, 300}},         // above and left of it
        {{0, 0, 1400, 1100}, {1300, 1100}, {0, 0, 1300, 1100}},       // its layout cannot go smaller
    };
    for (const auto& c : cases) EXPECT_EQ(FitFrameInto(c.frame, screen, c.least), c.fitted) << c.frame.x();
}

TEST(ScreenFit, EveryDialogIsAsWideAsItsTitleAndTextAndAWindowStaysOnTheScreen) {
    auto& application = *static_cast<QApplication*>(QCoreApplication::instance());
    InstallScreenFit(application);
    const QString chooser = QString::fromUtf8("Unesite naziv datoteke koja će se stvoriti");
    const QString both = QStringLiteral("Le joueur est present dans les 2 equipes, choisissez l'équipe du but");
    const struct {
        const char* what;
        QString title, text;
        std::function<std::unique_ptr<QDialog>(const QString& title, const QString& text)> make;
    } cases[] = {
        {"message box", chooser, QStringLiteral("?"),
         [](const QString& title, const QString& text) {
             return std::make_unique<QMessageBox>(QMessageBox::Question, title, text,
                                                  QMessageBox::Yes | QMessageBox::No);
         }},
        // The engine's own dialog, as the editing windows show it ("Nom ?", "Player ?", "team exists").
        {"engine dialog, French", QStringLiteral("Validation impossible"), QStringLiteral("Nom ?"),
         [](const QString& title, const QString& text) -> std::unique_ptr<QDialog> {
             return xb::BuildDialogForm(title, QStringLiteral("!"), text, 2, QStringLiteral("Ok"));
         }},
        {"engine dialog, Croatian", QString::fromUtf8("Potvrda nije moguća"), QStringLiteral("Naziv ?"),
         [](const QString& title, const QString& text) -> std::unique_ptr<QDialog> {
             return xb::BuildDialogForm(title, QStringLiteral("!"), text, 2, QStringLiteral("Ok"));
         }},
        {"engine dialog, English", QStringLiteral("unable to validate"), QStringLiteral("Player ?"),
         [](const QString& title, const QString& text) -> std::unique_ptr<QDialog> {
             return xb::BuildDialogForm(title, QStringLiteral("i"), text, 2, QString());
         }},
        {"engine dialog, a long text", QStringLiteral("But"), both,
         [](const QString& title, const QString& text) -> std::unique_ptr<QDialog> {
             return xb::BuildDialogForm(title, QStringLiteral("?"), text, 2, QStringLiteral("A-Lille B-Lyon"));
         }},
        {"input dialog", chooser, QStringLiteral("?"),
         [](const QString& title, const QString& text) -> std::unique_ptr<QDialog> {
             auto d = std::make_unique<QInputDialog>();
             d->setWindowTitle(title);
             d->setLabelText(text);
             return d;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::unique_ptr<QDialog> d = c.make(c.title, c.text);
        d->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(d.get()));
        QTest::qWait(20);
        EXPECT_GE(d->frameGeometry().width(), TitleBarWidthNeeded(c.title));
        EXPECT_TRUE(d->screen()->availableGeometry().contains(d->frameGeometry()));
        // The text on one line, as wide as it reads.
        bool shown = false;
        for (QLabel* l : d->findChildren<QLabel*>())
            if (l->text() == c.text) {
                shown = true;
                EXPECT_GE(l->contentsRect().width(), l->fontMetrics().horizontalAdvance(c.text)) << l->width();
            }
        EXPECT_TRUE(shown);
        d->close();
    }

    QWidget window;
    window.resize(600, 400);
    window.move(1000, 900);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(50);
    EXPECT_TRUE(window.screen()->availableGeometry().contains(window.frameGeometry()))
        << window.frameGeometry().x() << "," << window.frameGeometry().y();
}

// A list and a chart given least sizes for their contents that add up to more than the screen: they give
// way, and the window with its button lies on the screen.
TEST(ScreenFit, ListsAndChartsGiveWayBeforeAWindowLeavesTheScreen) {
    auto& application = *static_cast<QApplication*>(QCoreApplication::instance());
    InstallScreenFit(application);
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    for (const QBoxLayout::Direction direction : {QBoxLayout::LeftToRight, QBoxLayout::TopToBottom}) {
        SCOPED_TRACE(direction);
        QWidget window;
        auto* outer = new QVBoxLayout(&window);
        auto* row = new QBoxLayout(direction);
        auto* list = new QTableView;
        auto* chart = new QGraphicsView;
        const QSize wide = screen * 0.7;
        list->setMinimumSize(wide);
        chart->setMinimumSize(wide);
        row->addWidget(list);
        row->addWidget(chart);
        outer->addLayout(row);
        auto* quit = new QPushButton(QStringLiteral("Quitter"));
        outer->addWidget(quit);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(50);
        const QRect area = window.screen()->availableGeometry();
        EXPECT_TRUE(area.contains(window.frameGeometry()))
            << window.frameGeometry().width() << "x" << window.frameGeometry().height();
        EXPECT_TRUE(area.contains(QRect(quit->mapToGlobal(QPoint(0, 0)), quit->size())));
        // Each still a list and a chart, not squeezed to nothing.
        EXPECT_GE(std::min(list->width(), chart->width()), 100);
        EXPECT_GE(std::min(list->height(), chart->height()), 100);
    }
}

// A window the platform keeps putting back off the screen, as a window manager that places windows its
// own way may: the fits stop after a few rounds instead of answering it for ever, and the window is fitted
// again once its layout asks for another size.
TEST(ScreenFit, AWindowThePlatformKeepsMovingSettles) {
    auto& application = *static_cast<QApplication*>(QCoreApplication::instance());
    InstallScreenFit(application);
    class Stubborn : public QWidget {
    public:
        int putBack = 0;
        bool stubborn = true;

    protected:
        void moveEvent(QMoveEvent* e) override {
            QWidget::moveEvent(e);
            if (!stubborn || frameGeometry().topLeft() == QPoint(5000, 5000)) return;
            ++putBack;
            QTimer::singleShot(0, this, [this] { move(5000, 5000); });
        }
    } window;
    auto* layout = new QVBoxLayout(&window);
    auto* label = new QLabel(QStringLiteral("x"));
    layout->addWidget(label);
    window.resize(300, 200);
    window.move(5000, 5000);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(1500);
    EXPECT_GE(window.putBack, 1);
    EXPECT_LE(window.putBack, ScreenFit::kMaxRounds + 1);
    const int settled = window.putBack;
    QTest::qWait(300);
    EXPECT_EQ(window.putBack, settled);
    // The platform gives in; the window's layout grows: fitted again.
    window.stubborn = false;
    label->setMinimumWidth(320);
    QTest::qWait(100);
    EXPECT_TRUE(window.screen()->availableGeometry().contains(window.frameGeometry()))
        << window.frameGeometry().x() << "," << window.frameGeometry().y();
}

// A failure naming a file of 300 characters, through the program's own message box and the engine's
// dialog: the name wraps inside the box, which lies on the screen.
TEST(ScreenFit, ALongFileNameWrapsInsideItsBox) {
    auto& application = *static_cast<QApplication*>(QCoreApplication::instance());
    InstallScreenFit(application);
    const QString name = QStringLiteral("/tmp/") + QString(150, QLatin1Char('x')) + QStringLiteral("/") +
                         QString(145, QLatin1Char('y')) + QStringLiteral(".htm");
    const QString text = name + QStringLiteral(" : nom trop long");
    const auto inside = [&](QDialog* d) {
        const QRect area = d->screen()->availableGeometry();
        EXPECT_TRUE(area.contains(d->frameGeometry())) << d->frameGeometry().width();
        bool shown = false;
        for (QLabel* l : d->findChildren<QLabel*>()) {
            if (!l->text().contains(QStringLiteral("xxxx"))) continue;
            shown = true;
            // Every letter of the name is there, and the label keeps inside its box.
            QString plain = l->text();
            EXPECT_EQ(plain.remove(QChar(0x200B)), text);
            EXPECT_LE(l->geometry().right(), d->contentsRect().right());
            EXPECT_GT(l->height(), 2 * l->fontMetrics().height());  // on several lines
        }
        EXPECT_TRUE(shown);
    };
    {
        xb::QtEngineUi real;
        QTimer::singleShot(100, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                inside(box);
                box->accept();
            }
        });
        real.messageBox(text.toStdString(), "Erreur", xb::platform::kMbOk);
    }
    std::unique_ptr<QDialog> d = xb::BuildDialogForm(QStringLiteral("Erreur"), QStringLiteral("!"), text, 2,
                                                     QStringLiteral("Ok"));
    d->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(d.get()));
    QTest::qWait(20);
    inside(d.get());
}

}  // namespace
}  // namespace app
