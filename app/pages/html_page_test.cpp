// The page writer: the frame's lines, its options, escaping, balanced markup, and what a reader makes of
// a page with a table and images.
#include "app/pages/html_page.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include "app/pages/report_colors.h"
#include "tests/support/html_table.h"

namespace app {
namespace {

QByteArray pageWith(PageOptions options, const std::function<void(HtmlPageWriter&)>& body = {}) {
    options.generatorText = QStringLiteral("Page created with");
    HtmlPageWriter w(std::move(options));
    w.Begin();
    if (body) body(w);
    w.Finish();
    return w.bytes();
}

QStringList linesOf(const QByteArray& page) {
    QStringList lines = QString::fromUtf8(page).split(QStringLiteral("\r\n"));
    EXPECT_EQ(lines.last(), QString()) << "the last line ends with CR LF";
    lines.removeLast();
    return lines;
}

TEST(HtmlPageTest, FrameOfAPlainPage) {
    PageOptions o;
    o.title = QStringLiteral("Standings");
    const QStringList lines = linesOf(pageWith(o));
    const QStringList expected = {
        "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">",
        "<html>",
        "<head>",
        "<meta http-equiv=\"Content-Type\"",
        "content=\"text/html; charset=utf-8\">",
        "<meta name=\"GENERATOR\" content=\"PELMORAD32\">",
        "<title>Standings</title>",
        "</head>",
        "<body bgcolor=\"#FFFFFF\">",
        "<p align=\"center\"><font size=\"5\"><strong><u>Standings</u></strong></font></p>",
        "",
        "<p align=\"center\"><font size=\"2\"><strong>Page created with PELMORAD32</strong></font></p>",
        "<p align=\"left\">&nbsp;</p>",
        "</body>",
        "</html>",
    };
    EXPECT_EQ(lines, expected);
}

TEST(HtmlPageTest, HeaderFooterHostAndBlanks) {
    struct Case {
        const char* name;
        QString header, footer, host;
        bool writeHeader;
        QStringList present, absent;
    };
    const Case cases[] = {
        {"markup header kept", "<b>x</b>", "", "", true, {"<b>x</b>\r\n<br>\r\n<p align"}, {"&lt;b&gt;"}},
        {"footer before the end",
         "",
         "Footer & co",
         "",
         true,
         {"&nbsp;</p>\r\nFooter & co\r\n<br>\r\n</body>"},
         {}},
        {"header not written", "<i>h</i>", "", "", false, {}, {"<i>h</i>", "<br>"}},
        {"host gives a link",
         "",
         "",
         "example.org",
         true,
         {"content=\"PELMORAD32 example.org\">",
          "with PELMORAD32 (<a href=\"http://example.org/\">example.org</a>)</strong>"},
         {}},
        {"no host no link", "", "", "", true, {"with PELMORAD32</strong>"}, {"<a ", "<br>"}},
    };
    for (const Case& c : cases) {
        PageOptions o;
        o.title = QStringLiteral("T");
        o.headerText = c.header;
        o.footerText = c.footer;
        o.makerHost = c.host;
        o.writeHeader = c.writeHeader;
        const QString page = QString::fromUtf8(pageWith(o));
        for (const QString& p : c.present) EXPECT_TRUE(page.contains(p)) << c.name << ": " << p.toStdString();
        for (const QString& a : c.absent) EXPECT_FALSE(page.contains(a)) << c.name << ": " << a.toStdString();
        EXPECT_FALSE(page.contains(QRegularExpression(QStringLiteral("[^\\r]\\n")))) << c.name;
    }
}

TEST(HtmlPageTest, ElementsWriteTheirLines) {
    PageOptions o;
    o.title = QStringLiteral("T");
    const QString page = QString::fromUtf8(pageWith(o, [](HtmlPageWriter& w) {
        w.InfoLines({{"Championnat", "Ligue 1"}, {"Année", "2008 - 2009"}});
        w.SubTitle(QStringLiteral("Team"));
        w.TableOpen();
        w.HeaderCell(35, QStringLiteral("Jou"));
        w.HeaderCell(35, QString());
        w.HeaderCell(50, QStringLiteral("Année"), HeaderCellStyle::LightBlue);
        w.HeaderRowEnd();
        w.DataRow(1, {HtmlCell::Text("a"), HtmlCell::Number(" 3")});
        w.DataRow(2, {HtmlCell::Text("b"), HtmlCell::Number("4 ")});
        w.DataRow(3, {HtmlCell::Text("c")}, DataRowStyle{true, true});
        w.TableClose();
        w.ImageRow({"pg1.jpg", "pg2.jpg"});
    }));
    const char* expected[] = {
        "<p align=\"left\"><font size=\"2\">Championnat: Ligue 1<br>\r\nAnnée: 2008 - "
        "2009<br></font></p>\r\n\r\n"
        "<p align=\"left\">&nbsp;</p>\r\n",
        "<p align=\"center\"><font size=\"4\"><strong><u>Team</u></strong></font></p>\r\n\r\n",
        "<div align=\"center\"><center>\r\n\r\n<table border=\"1\" cellspacing=\"0\">\r\n    <tr>\r\n",
        "        <td width=\"35\" nowrap bgcolor=\"#0000CC\"><font color=\"#FFFFFF\"><b>Jou</b></font></td>\r\n",
        "        <td width=\"35\" nowrap bgcolor=\"#0000CC\"><font color=\"#FFFFFF\"><b>&nbsp;</b></font></td>\r\n",
        "        <td width=\"50\" nowrap bgcolor=\"#BEE3FE\">Année</td>\r\n    </tr>\r\n",
        "<tr>\r\n        <td nowrap  >a</td>\r\n        <td align=\"right\"  >3</td>\r\n    </tr>\r\n",
        "<tr>\r\n        <td nowrap  bgcolor=\"#F4F4F4\"  >b</td>\r\n        <td align=\"right\"  "
        "bgcolor=\"#F4F4F4\"  >4</td>",
        "        <td nowrap  ><font color=\"#0000CC\">c</font></td>",
        "<p>&nbsp;</p>\r\n</table>\r\n<p>&nbsp;</p>\r\n</center></div>\r\n"
        "<div style=\"display:flex; flex-wrap:wrap; justify-content:center; gap:4px; max-width:1000px; "
        "margin:8px auto\">\r\n"
        " <div style=\"border:1px solid #808080; padding:2px; max-width:100%; box-sizing:border-box\"><img "
        "src=\"pg1.jpg\" style=\"max-width:100%; height:auto\"></div>\r\n"
        " <div style=\"border:1px solid #808080; padding:2px; max-width:100%; box-sizing:border-box\"><img "
        "src=\"pg2.jpg\" style=\"max-width:100%; height:auto\"></div>\r\n"
        "</div>\r\n<p align=\"center\"><font size=\"2\">",
    };
    for (const char* e : expected) EXPECT_TRUE(page.contains(QString::fromUtf8(e))) << e;
}

// Counts opening and closing tags of the elements the frame and its parts open; a balanced page closes
// each one it opens.
TEST(HtmlPageTest, MarkupIsBalanced) {
    PageOptions o;
    o.title = QStringLiteral("T");
    o.headerText = QStringLiteral("<b>h</b>");
    o.footerText = QStringLiteral("<i>f</i>");
    const QString page = QString::fromUtf8(pageWith(o, [](HtmlPageWriter& w) {
        w.InfoLines({{"a", "1"}});
        w.SubTitle("s");
        w.TableOpen();
        w.HeaderCell(10, QString());
        w.HeaderRowEnd();
        w.DataRow(1, {HtmlCell::Text(QString())});
        w.TableClose();
        w.ImageRow({"x.jpg"});
        w.ImageRow({"y.jpg"});  // a second block after the first closed its own
        w.TableOpen();          // a table left open is closed by Finish
        w.HeaderRowEnd();
        w.TableClose();
    }));
    for (const char* tag : {"html", "head", "body", "p", "font", "strong", "u", "b", "i", "div", "center",
                            "table", "tr", "td", "title"}) {
        const auto opened = page.count(QRegularExpression(QStringLiteral("<%1[ >]").arg(tag)));
        const auto closed = page.count(QStringLiteral("</%1>").arg(tag));
        EXPECT_EQ(opened, closed) << tag;
    }
    EXPECT_FALSE(page.contains(QRegularExpression(QStringLiteral("&nbsp[^;]"))));
    EXPECT_FALSE(page.contains(QRegularExpression(QStringLiteral("\"[a-z]+="))));  // attributes run together
}

TEST(HtmlPageTest, TextsAreEscapedAndReadBackIntact) {
    const QStringList names = {"A & B <C>", "<script>x</script>", "Šibenik–Đakovo", "Ångström", "say \"hi\""};
    PageOptions o;
    o.title = QStringLiteral("R & D <1>");
    const QByteArray page = pageWith(o, [&](HtmlPageWriter& w) {
        w.TableOpen();
        w.HeaderCell(100, QStringLiteral("Name <x>"));
        w.HeaderRowEnd();
        for (int r = 0; r < names.size(); ++r) w.DataRow(r + 1, {HtmlCell::Text(names[r])});
        w.TableClose();
        w.ImageRow({ChartImageName(QStringLiteral("my report #1"), 1)});
    });
    const xbtest::HtmlDocument doc = xbtest::ReadHtmlDocument(page.toStdString());
    ASSERT_TRUE(doc.ok) << doc.error;
    EXPECT_EQ(doc.scriptElements, 0);
    EXPECT_EQ(doc.title, "R & D <1>");
    ASSERT_EQ(doc.tables.size(), 1u);
    ASSERT_EQ(doc.tables[0].size(), size_t(names.size() + 1));
    EXPECT_EQ(doc.tables[0][0], std::vector<std::string>{"Name <x>"});
    for (int r = 0; r < names.size(); ++r)
        EXPECT_EQ(doc.tables[0][r + 1], std::vector<std::string>{names[r].toStdString()});
    EXPECT_EQ(doc.imageSources, std::vector<std::string>{"my%20report%20%231g1.jpg"});
}

TEST(HtmlPageTest, ImageNamesAndColours) {
    EXPECT_EQ(ChartImageName(QStringLiteral("report"), 2), QStringLiteral("reportg2.jpg"));
    EXPECT_EQ(HtmlImageSrc(QStringLiteral("a b?c#d%e.jpg")), QStringLiteral("a%20b%3Fc%23d%25e.jpg"));
    struct Colour {
        uint32_t bgr;
        const char* html;
    };
    for (const Colour& c :
         {Colour{0xF4FFE1, "#E1FFF4"}, Colour{0xFF0000, "#0000FF"}, Colour{0x0000FF, "#FF0000"},
          Colour{0x008000, "#008000"}, Colour{0xC8B9C7, "#C7B9C8"}})
        EXPECT_EQ(HtmlColor(RgbOfBgr(c.bgr)).toStdString(), c.html);
}

}  // namespace
}  // namespace app
