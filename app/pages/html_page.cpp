#include "app/pages/html_page.h"

#include <QUrl>

#include "app/settings/lang_texts.h"
#include "app/settings/param_file.h"
#include "app/settings/session_format.h"

#ifndef LM_MAKER_HOST
#define LM_MAKER_HOST ""
#endif

namespace app {

namespace {

const char* alignAttribute(CellAlign align) {
    switch (align) {
        case CellAlign::Left:
            return " align=\"left\"";
        case CellAlign::Right:
            return " align=\"right\"";
        case CellAlign::Center:
            return " align=\"center\"";
        case CellAlign::None:
            break;
    }
    return "";
}

// An empty cell would collapse in some browsers; the pages always gave it a no-break space.
QString cellText(const QString& escaped) {
    return escaped.isEmpty() ? QStringLiteral("&nbsp;") : escaped;
}

}  // namespace

QString BuiltMakerHost() {
    return QString::fromUtf8(LM_MAKER_HOST);
}

PageOptions DefaultPageOptions(const QString& title) {
    PageOptions options;
    options.title = title;
    options.headerText = HtmlHeaderText;
    options.footerText = HtmlFooterText;
    options.makerHost = BuiltMakerHost();
    return options;
}

QString HtmlEscape(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
            case '&':
                out += QLatin1String("&amp;");
                break;
            case '<':
                out += QLatin1String("&lt;");
                break;
            case '>':
                out += QLatin1String("&gt;");
                break;
            case '"':
                out += QLatin1String("&quot;");
                break;
            default:
                out += c;
        }
    }
    return out;
}

QString HtmlImageSrc(const QString& relativeName) {
    return QString::fromLatin1(QUrl::toPercentEncoding(relativeName));
}

QString ChartImageName(const QString& base, int k) {
    return base + QLatin1Char('g') + QString::number(k) + QLatin1String(".jpg");
}

HtmlPageWriter::HtmlPageWriter(PageOptions options) : m_options(std::move(options)) {}

void HtmlPageWriter::Line(const QString& line) {
    m_out += line.toUtf8();
    m_out += "\r\n";
}

void HtmlPageWriter::Begin() {
    const QString title = HtmlEscape(m_options.title);
    const QString host = HtmlEscape(m_options.makerHost);
    Line(QStringLiteral("<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">"));
    Line(QStringLiteral("<html>"));
    Line(QStringLiteral("<head>"));
    Line(QStringLiteral("<meta http-equiv=\"Content-Type\""));
    Line(QStringLiteral("content=\"text/html; charset=utf-8\">"));
    Line(QStringLiteral("<meta name=\"GENERATOR\" content=\"PELMORAD32") +
         (host.isEmpty() ? QString() : QLatin1Char(' ') + host) + QStringLiteral("\">"));
    Line(QStringLiteral("<title>") + title + QStringLiteral("</title>"));
    Line(QStringLiteral("</head>"));
    Line(QStringLiteral("<body bgcolor=\"#FFFFFF\">"));
    if (m_options.writeHeader && !m_options.headerText.isEmpty()) {
        Line(m_options.headerText);
        Line(QStringLiteral("<br>"));
    }
    if (!m_options.titleParagraph) return;
    Line(QStringLiteral("<p align=\"center\"><font size=\"5\"><strong><u>") + title +
         QStringLiteral("</u></strong></font></p>"));
    EmptyLine();
}

void HtmlPageWriter::Finish() {
    CloseCentered();
    QString generator =
        m_options.generatorText.isEmpty() ? GetLangText(Text::PageCreatedWith) : m_options.generatorText;
    QString product = QStringLiteral("PELMORAD32");
    if (!m_options.makerHost.isEmpty()) {
        const QString host = HtmlEscape(m_options.makerHost);
        const QString href = HtmlEscape(QStringLiteral("http://") + m_options.makerHost + QLatin1Char('/'));
        product +=
            QStringLiteral(" (<a href=\"") + href + QStringLiteral("\">") + host + QStringLiteral("</a>)");
    }
    Line(QStringLiteral("<p align=\"center\"><font size=\"2\"><strong>") + HtmlEscape(generator) +
         QLatin1Char(' ') + product +
         QStringLiteral("</strong></font></p>"));
    Line(QStringLiteral("<p align=\"left\">&nbsp;</p>"));
    if (!m_options.footerText.isEmpty()) {
        Line(m_options.footerText);
        Line(QStringLiteral("<br>"));
    }
    Line(QStringLiteral("</body>"));
    Line(QStringLiteral("</html>"));
}

void HtmlPageWriter::InfoLines(const QList<QPair<QString, QString>>& items) {
    for (qsizetype i = 0; i < items.size(); ++i) {
        QString line = i == 0 ? QStringLiteral("<p align=\"left\"><font size=\"2\">") : QString();
        line += HtmlEscape(LabelledText(items[i].first, items[i].second)) + QStringLiteral("<br>");
        if (i + 1 == items.size()) line += QStringLiteral("</font></p>");
        Line(line);
    }
    EmptyLine();
    Line(QStringLiteral("<p align=\"left\">&nbsp;</p>"));
}

void HtmlPageWriter::SubTitle(const QString& text) {
    Line(QStringLiteral("<p align=\"center\"><font size=\"4\"><strong><u>") + HtmlEscape(text) +
         QStringLiteral("</u></strong></font></p>"));
    EmptyLine();
}

void HtmlPageWriter::openCentered() {
    Line(QStringLiteral("<div align=\"center\"><center>"));
    m_centeredOpen = true;
}

void HtmlPageWriter::CloseCentered() {
    if (!m_centeredOpen) return;
    Line(QStringLiteral("</center></div>"));
    m_centeredOpen = false;
}

void HtmlPageWriter::TableOpen() {
    CloseCentered();
    openCentered();
    EmptyLine();
    Line(QStringLiteral("<table border=\"1\" cellspacing=\"0\">"));
    Line(QStringLiteral("    <tr>"));
}

void HtmlPageWriter::HeaderCell(int width, const QString& title, HeaderCellStyle style) {
    const QString text = cellText(HtmlEscape(title));
    // A column of names takes the width of its longest name: no width of its own, never wrapped.
    const QString open = width > 0 ? QStringLiteral("        <td width=\"%1\" nowrap").arg(width)
                                   : QStringLiteral("        <td nowrap");
    if (style == HeaderCellStyle::LightBlue) {
        Line(open + QStringLiteral(" bgcolor=\"#BEE3FE\">") + text + QStringLiteral("</td>"));
    } else {
        Line(open + QStringLiteral(" bgcolor=\"#0000CC\"><font color=\"#FFFFFF\"><b>") + text +
             QStringLiteral("</b></font></td>"));
    }
}

void HtmlPageWriter::HeaderRowEnd() {
    Line(QStringLiteral("    </tr>"));
}

void HtmlPageWriter::DataRow(int r, const QList<HtmlCell>& cells, DataRowStyle style) {
    const QString attribute =
        style.alternate && r % 2 == 0 ? QStringLiteral(" bgcolor=\"#F4F4F4\" ") : QString();
    Line(QStringLiteral("<tr>"));
    for (const HtmlCell& cell : cells) {
        QString open = QStringLiteral("        <td");
        if (cell.align == CellAlign::None || cell.sizedByText)
            open += QStringLiteral(" nowrap");
        else if (cell.width > 0)
            open += QStringLiteral(" width=\"%1\"").arg(cell.width);
        open += QLatin1String(alignAttribute(cell.align));
        if (cell.align == CellAlign::None || style.blankAfterAlign) open += QLatin1Char(' ');
        open += attribute + QStringLiteral(" >");
        QString text = cellText(HtmlEscape(cell.trim ? cell.text.trimmed() : cell.text));
        if (style.blueText)
            text = QStringLiteral("<font color=\"#0000CC\">") + text + QStringLiteral("</font>");
        Line(open + text + QStringLiteral("</td>"));
    }
    Line(QStringLiteral("    </tr>"));
}

void HtmlPageWriter::TableClose() {
    Line(QStringLiteral("<p>&nbsp;</p>"));
    Line(QStringLiteral("</table>"));
    Line(QStringLiteral("<p>&nbsp;</p>"));
}

void HtmlPageWriter::ImageRow(const QStringList& imageNames) {
    CloseCentered();
    // The images side by side in a column of kPageImageColumn pixels, centred: the browser puts an image
    // that does not fit beside the others on a row of its own, and draws one wider than the column smaller.
    Line(QStringLiteral("<div style=\"display:flex; flex-wrap:wrap; justify-content:center; gap:4px; "
                        "max-width:%1px; margin:8px auto\">")
             .arg(kPageImageColumn));
    for (const QString& name : imageNames)
        Line(QStringLiteral(" <div style=\"border:1px solid #808080; padding:2px; max-width:100%; "
                            "box-sizing:border-box\"><img src=\"") +
             HtmlImageSrc(name) + QStringLiteral("\" style=\"max-width:100%; height:auto\"></div>"));
    Line(QStringLiteral("</div>"));
}

}  // namespace app
