// Reads an HTML page back the way a browser-independent reader sees it (Python's html.parser, run by
// /usr/bin/python3): the cells of every table, the img sources and the script elements. The report
// tests compare a written page, or the DOM headless Chromium made of it, with the grid it came from.
#pragma once

#include <string>
#include <vector>

namespace xbtest {

struct HtmlDocument {
    // tables[t][r][c]: the text of a cell, character references decoded, <br> as "\n", surrounding
    // white space (no-break spaces included) removed.
    std::vector<std::vector<std::vector<std::string>>> tables;
    std::vector<std::string> imageSources;  // src of every img, as written
    int scriptElements = 0;
    std::string title;
    bool ok = false;  // false when the reader could not run
    std::string error;
};

HtmlDocument ReadHtmlDocument(const std::string& html);
HtmlDocument ReadHtmlFile(const std::string& path);

// The elements of a page whose start and end tags do not pair up, in the order met ("<td> closed by
// </tr>", "</center> without start", "<div> never closed"); empty when every element is closed in the
// order it was opened. Void elements (br, img, meta...), the doctype and comments are left aside.
std::vector<std::string> UnbalancedElements(const std::string& html);

// Headless Chromium (Debian's chromium) with a throwaway profile. DumpDom returns the serialized DOM of a
// local file ("" when chromium failed); Screenshot writes a PNG of the page at the given window size.
std::string ChromiumDumpDom(const std::string& path);
bool ChromiumScreenshot(const std::string& path, const std::string& png, int width, int height);

}  // namespace xbtest
