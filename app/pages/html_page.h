// The one writer of every report's HTML page: the frame shared by all pages and the body elements the
// reports are built from. A report opens the page (Begin), writes its own body with the elements and,
// where it has markup of its own, with Line, then closes it (Finish) and hands bytes() to the file set
// that writes the page and its charts together.
//
// What callers may rely on:
// - Every line ends with CR LF; the page is UTF-8 and says so.
// - Every text given to an element is escaped (&, <, >, "); only the header and footer texts of the
//   parameters and the lines given to Line are written as they are, since those may hold markup.
// - The markup is balanced: paragraphs and font elements the frame opens are closed, an empty cell holds
//   "&nbsp;", the centred block an image row closes is one the page opened, and the body is closed.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

namespace app {

// How a page departs from the common frame.
struct PageOptions {
    QString title;            // in the title element and the title paragraph
    QString headerText;       // written as it is, followed by "<br>", when not empty
    QString footerText;       // likewise, after the generator footer
    bool writeHeader = true;  // the head-to-head and results-grid pages write no header text
    bool titleParagraph = true;  // the title paragraph after the header (a page style may leave it out)
    QString makerHost;        // the maker's web host; empty: no host and no link are written
    QString generatorText;    // text 144 in the current language; filled by Begin when left empty
};

// The options every page starts from: the title, the header and footer texts of the parameters and the
// maker's host of the build; the caller sets the departures.
PageOptions DefaultPageOptions(const QString& title);

// The maker's host the program was built with (the server exchange's host setting); empty by default.
QString BuiltMakerHost();

// &, <, > and " as character references; every other character as it is.
QString HtmlEscape(const QString& text);
// An image file name made safe for a src attribute: percent-encoded, so that blanks, '#' and '?' in a
// page name keep pointing at the file beside the page.
QString HtmlImageSrc(const QString& relativeName);
// The file name of chart k (from 1) of a page whose file name without extension is base.
QString ChartImageName(const QString& base, int k);

// The width a page's images keep within, side by side.
inline constexpr int kPageImageColumn = 1000;

enum class HeaderCellStyle {
    WhiteOnBlue,  // white bold text on #0000CC
    LightBlue,    // plain text on #BEE3FE
};

enum class CellAlign { None, Left, Right, Center };

// One data cell. A number is trimmed and right-aligned. A text cell (no alignment, or sizedByText) is never
// wrapped and takes no width: its column is as wide as its longest text.
struct HtmlCell {
    QString text;
    CellAlign align = CellAlign::None;
    int width = 0;  // 0: no width attribute
    bool trim = false;
    bool sizedByText = false;  // a text cell that keeps its alignment (a right-aligned column of names)

    static HtmlCell Text(const QString& t, int width = 0) { return {t, CellAlign::None, width, false, false}; }
    static HtmlCell Number(const QString& t, int width = 0) { return {t, CellAlign::Right, width, true, false}; }
    static HtmlCell Centered(const QString& t, int width = 0) { return {t, CellAlign::Center, width, true, false}; }
};

struct DataRowStyle {
    bool alternate = true;  // even rows on #F4F4F4
    bool blueText = false;  // cell texts in #0000CC
    // The blank between a cell's alignment and its colour; the matchday page's second style has always
    // been written without it, and its pages are kept comparable byte for byte.
    bool blankAfterAlign = true;
};

class HtmlPageWriter {
public:
    explicit HtmlPageWriter(PageOptions options);

    // Frame rows 1 to 11: head, body, header text, title paragraph.
    void Begin();
    // Frame rows 12 to 15: generator footer, footer text, closing tags. Closes a centred block left open.
    void Finish();

    // Label-value lines: "label :value" each, in one small left-aligned paragraph.
    void InfoLines(const QList<QPair<QString, QString>>& items);
    void SubTitle(const QString& text);

    // Opens a centred block and a bordered table and starts its header row.
    void TableOpen();
    // A width of 0 writes none (a column of names); no title is wrapped.
    void HeaderCell(int width, const QString& title, HeaderCellStyle style = HeaderCellStyle::WhiteOnBlue);
    void HeaderRowEnd();
    // Data row r (from 1); even rows get the alternate background when the style asks for it.
    void DataRow(int r, const QList<HtmlCell>& cells, DataRowStyle style = {});
    // Ends the table; the centred block stays open for an image row or the report's own closing.
    void TableClose();
    // The images, src the given relative names, each framed, side by side and centred within a column of
    // kPageImageColumn pixels: one to a row where two do not fit. Closes a centred block left open.
    void ImageRow(const QStringList& imageNames);
    // Closes the centred block a table opened, when one is open.
    void CloseCentered();

    // A line of the report's own markup, written as it is (the caller escapes its texts).
    void Line(const QString& line);
    void EmptyLine() { Line(QString()); }

    bool centeredOpen() const { return m_centeredOpen; }
    // The page so far, UTF-8, CR LF after every line.
    QByteArray bytes() const { return m_out; }

private:
    void openCentered();

    PageOptions m_options;
    QByteArray m_out;
    bool m_centeredOpen = false;
};

}  // namespace app
