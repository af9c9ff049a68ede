// The engine's Qt windows, offscreen: the dialog's buttons, hotkeys and text, the progress bar, and the
// dialog reached through the UI seam as the engine and the application call it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <functional>

#include "engine/dataset/engine_windows.h"
#include "engine/dataset/qt/engine_windows_qt.h"
#include "platform/ui.h"

namespace {

using namespace xb;

// Acts on the next modal dialog once its event loop runs.
void whenDialogShows(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(w);
        }
    });
    timer->start(5);
}

void click(const QString& button) {
    whenDialogShows([button](QWidget* w) {
        auto* b = w->findChild<QPushButton*>(button);
        ASSERT_NE(b, nullptr);
        QTest::mouseClick(b, Qt::LeftButton);
    });
}

QStringList buttonTexts(QWidget& form) {
    QStringList out;
    for (int i = 1;; ++i) {
        auto* b = form.findChild<QPushButton*>(QStringLiteral("button%1").arg(i));
        if (!b) break;
        out << b->text();
    }
    return out;
}

TEST(EngineWindows, DialogAnswersTheHotkeyOfThePressedButton) {
    QtEngineUi ui;
    struct {
        QString action;
        char answer;
    } cases[] = {{"button1", 'O'}, {"button2", 'N'}, {"escape", ' '}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action.toStdString());
        if (c.action == "escape")
            whenDialogShows([](QWidget* w) { QTest::keyClick(w, Qt::Key_Escape); });
        else
            click(c.action);
        EXPECT_EQ(ShowDialogForm("Question", "?", "Continuer ?", "&Oui &Non"), c.answer);
    }
    click("button1");
    EXPECT_EQ(ShowDialogForm("", "X", "Done", ""), 'O');  // "&OK"
    click("button1");
    EXPECT_EQ(ShowDialogForm("", "X", "Done", "Ok"), 'O');
}

TEST(EngineWindows, CaptionListKeepsBlanksAndAmpersands) {
    QtEngineUi ui;
    click("button2");
    EXPECT_EQ(ShowDialogFormList("But", "?", "Qui a marqué ?", {"A-Paris SG", "B-Lyon & Co"}), 'B');
    // The blank-separated form would have split the names into extra buttons.
    auto list = BuildDialogForm("But", "?", "x", 2, std::vector<QString>{"&A-Paris SG", "&B-Lyon && Co"});
    EXPECT_EQ(buttonTexts(*list), (QStringList{"&A-Paris SG", "&B-Lyon && Co"}));
    EXPECT_EQ(list->HotkeyOfResult(2), 'B');
    auto words = BuildDialogForm("But", "?", "x", 2, QString("A-Paris SG B-Lyon"));
    EXPECT_EQ(buttonTexts(*words), (QStringList{"A-Paris", "SG", "B-Lyon"}));
    EXPECT_EQ(LiteralCaption("Lyon & Co"), "&Lyon && Co");
}

TEST(EngineWindows, DialogTextLinesIconAndAlignment) {
    struct {
        QString text;
        QString shown;
        bool centred;
    } cases[] = {{"one;two", "one\ntwo", false},
                 {"one\r\ntwo\n\rthree\nfour\rfive", "one\ntwo\nthree\nfour\nfive", false},
                 {"Saved centertext", "Saved", true},
                 {"Saved CENTERTEXT;next", "Saved\nnext", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        auto form = BuildDialogForm("Caption", "I", c.text, 2, QString("&OK"));
        auto* label = form->findChild<QLabel*>("Message");
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), c.shown);
        EXPECT_EQ(bool(label->alignment() & Qt::AlignHCenter), c.centred);
        EXPECT_EQ(form->windowTitle(), "Caption");
    }
    for (const char* kind : {"!", "?", "a", "H", "I"})
        EXPECT_NE(BuildDialogForm("", kind, "x", 2, QString())->findChild<QLabel*>("Icon"), nullptr) << kind;
    EXPECT_EQ(BuildDialogForm("", "Z", "x", 2, QString())->findChild<QLabel*>("Icon"), nullptr);
}

TEST(EngineWindows, HotkeyOfCaptionsAsTheStderrSeamAnswers) {
    struct {
        const char* caption;
        char hotkey;
    } cases[] = {{"&Oui", 'O'},
                 {"A&nnuler", 'N'},
                 {"Ok", 'O'},
                 {"R&&D &Go", 'G'},
                 {"", ' '},
                 {"&&", '&'},
                 {"&", '&'},
                 {"a&b", 'B'},
                 {"&&x", '&'},
                 {"&&&x", 'X'},
                 {"&\xC3\xA9quipe", '\xC9'}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption);
        auto form = BuildDialogForm("", "?", "x", 2, std::vector<QString>{QString::fromUtf8(c.caption)});
        EXPECT_EQ(form->HotkeyOfResult(1), c.hotkey);
        platform::StderrUi stderrUi;
        EXPECT_EQ(stderrUi.dialog("", '?', "x", c.caption), c.hotkey);
    }
}

TEST(EngineWindows, ProgressBarLosesOneBarPerStep) {
    std::unique_ptr<TXbProgress100> p(TXbProgress100::CreateWithCaption(nullptr, "Indexing x.mdx..."));
    EXPECT_EQ(p->Bar(), QString(100, '|'));
    EXPECT_TRUE(p->isVisible());
    for (int i = 1; i <= 100; ++i) {
        p->Step();
        ASSERT_EQ(p->Bar().size(), 100 - i);
    }
    EXPECT_TRUE(p->Bar().isEmpty());
    p->Step();  // the 101st refills without taking one away
    EXPECT_EQ(p->Bar(), QString(100, '|'));
}

TEST(EngineWindows, ProgressThroughTheSeam) {
    QtEngineUi ui;
    {
        TXbProgressWindow w("Indexing t.mdx...");
        ASSERT_NE(ui.progressWindow(), nullptr);
        EXPECT_EQ(ui.progressWindow()->windowTitle(), "Indexing t.mdx...");
        w.Step();
        w.Step();
        EXPECT_EQ(ui.progressWindow()->Bar().size(), 98);
    }
    EXPECT_EQ(ui.progressWindow(), nullptr);
}

TEST(EngineWindows, MessageWindowGrowsWithItsText) {
    TXbMsg m;
    m.ShowText("short");
    const int w1 = m.width();
    EXPECT_TRUE(m.isVisible());
    m.ShowText("a much longer line of text than before");
    EXPECT_GT(m.width(), w1);
    m.ShowText("");
    EXPECT_EQ(m.Text(), "a much longer line of text than before");
}

// A summary with a list of 400 lines below it: the box fits a 1024x768 screen with its buttons, the list
// shown whole in a scrolling area; the answer is the button pressed.
TEST(EngineWindows, AMessageWithALongListFitsTheScreen) {
    QtEngineUi ui;
    std::string details;
    for (int i = 1; i <= 400; ++i) details += "joueur.dbf, row " + std::to_string(i) + ": the note is not there\n";
    QSize size;
    bool listShown = false;
    whenDialogShows([&](QWidget* w) {
        w->adjustSize();
        size = w->frameGeometry().size();
        for (QTextEdit* list : w->findChildren<QTextEdit*>())
            listShown = listShown || (list->isVisible() && list->toPlainText().count(QLatin1Char('\n')) >= 399);
        auto* no = qobject_cast<QMessageBox*>(w)->button(QMessageBox::No);
        ASSERT_NE(no, nullptr);
        QTest::mouseClick(no, Qt::LeftButton);
    });
    EXPECT_EQ(platform::CurrentUi().messageBoxWithDetails("Damaged files:\n- joueur.dbf: 400 notes\n\nGo on?", details,
                                                         "League", platform::kMbYesNo | platform::kMbIconQuestion),
              platform::kIdNo);
    EXPECT_TRUE(listShown);
    EXPECT_LE(size.height(), 768);
    EXPECT_LE(size.width(), 1024);
}

TEST(EngineWindows, SeamTextTakesUtf8OrWindows1252) {
    EXPECT_EQ(SeamText("Hélène"), QString::fromUtf8("Hélène"));
    EXPECT_EQ(SeamText("H\xE9l\xE8ne"), QString::fromUtf8("Hélène"));
}

}  // namespace
