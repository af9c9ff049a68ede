#include "tests/support/html_table.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "tests/support/run_command.h"

namespace xbtest {

namespace {

// Prints one record a line: "T" for a new table, "R" for a row, "C\t" + cell, "I\t" + src, "S" per
// script element, "N\t" + title; backslash, tab and line breaks escaped.
const char* kReader = R"py(
import sys
from html.parser import HTMLParser

def esc(s):
    return s.replace('\\', '\\\\').replace('\t', '\\t').replace('\n', '\\n').replace('\r', '\\r')

class Reader(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.out = []
        self.cell = None
        self.in_title = False
        self.title = ''
    def handle_starttag(self, tag, attrs):
        if tag == 'table':
            self.out.append('T')
        elif tag == 'tr':
            self.out.append('R')
        elif tag in ('td', 'th'):
            self.finish()
            self.cell = ''
        elif tag == 'br' and self.cell is not None:
            self.cell += '\n'
        elif tag == 'img':
            self.out.append('I\t' + esc(dict(attrs).get('src') or ''))
        elif tag == 'script':
            self.out.append('S')
        elif tag == 'title':
            self.in_title = True
    def handle_endtag(self, tag):
        if tag in ('td', 'th', 'tr', 'table'):
            self.finish()
        if tag == 'title':
            self.in_title = False
    def handle_data(self, data):
        if self.cell is not None:
            self.cell += data
        if self.in_title:
            self.title += data
    def finish(self):
        if self.cell is not None:
            self.out.append('C\t' + esc(self.cell.strip(' \t\r\n\xa0')))
            self.cell = None

r = Reader()
with open(sys.argv[1], encoding='utf-8') as f:
    r.feed(f.read())
r.close()
r.finish()
r.out.append('N\t' + esc(r.title.strip()))
sys.stdout.write('\n'.join(r.out) + '\n')
)py";

std::string unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        char c = s[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

// The reader's scripts and pages go into a folder of this process's own, made once and removed at exit.
std::string tempName(const std::string& suffix) {
    static int counter = 0;
    static const struct Folder {
        Folder() {
            std::string pattern = (std::filesystem::temp_directory_path() / "lmhtml-XXXXXX").string();
            if (::mkdtemp(pattern.data())) path = pattern;
        }
        ~Folder() {
            std::error_code ec;
            if (!path.empty()) std::filesystem::remove_all(path, ec);
        }
        std::string path;
    } folder;
    return folder.path + "/" + std::to_string(++counter) + suffix;
}

}  // namespace

HtmlDocument ReadHtmlFile(const std::string& path) {
    HtmlDocument doc;
    const std::string script = tempName(".py");
    std::ofstream(script) << kReader;
    int status = 0;
    const std::string out =
        RunCommand("/usr/bin/python3 " + ShellQuote(script) + " " + ShellQuote(path) + " 2>&1", &status);
    std::filesystem::remove(script);
    if (status != 0) {
        doc.error = out;
        return doc;
    }
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line == "T") {
            doc.tables.emplace_back();
        } else if (line == "R") {
            if (doc.tables.empty()) doc.tables.emplace_back();
            doc.tables.back().emplace_back();
        } else if (line.rfind("C\t", 0) == 0) {
            if (doc.tables.empty()) doc.tables.emplace_back();
            if (doc.tables.back().empty()) doc.tables.back().emplace_back();
            doc.tables.back().back().push_back(unescape(line.substr(2)));
        } else if (line.rfind("I\t", 0) == 0) {
            doc.imageSources.push_back(unescape(line.substr(2)));
        } else if (line == "S") {
            ++doc.scriptElements;
        } else if (line.rfind("N\t", 0) == 0) {
            doc.title = unescape(line.substr(2));
        }
    }
    doc.ok = true;
    return doc;
}

HtmlDocument ReadHtmlDocument(const std::string& html) {
    const std::string path = tempName(".htm");
    std::ofstream(path, std::ios::binary) << html;
    HtmlDocument doc = ReadHtmlFile(path);
    std::filesystem::remove(path);
    return doc;
}

namespace {

std::string chromium(const std::string& args) {
    char profile[] = "/tmp/lmchromium-XXXXXX";
    if (!mkdtemp(profile)) return {};
    std::string command =
        "chromium --headless --no-sandbox --disable-gpu --user-data-dir=" + ShellQuote(profile) + " " + args +
        " 2>/dev/null";
    int status = 0;
    std::string out = RunCommand(command, &status);
    std::error_code ec;
    std::filesystem::remove_all(profile, ec);
    return status == 0 ? out : std::string();
}

std::string fileUrl(const std::string& path) {
    std::string url = "file://";
    const std::string absolute = std::filesystem::absolute(path).string();
    static const char* kHex = "0123456789ABCDEF";
    for (unsigned char c : absolute) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            url += char(c);
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 15];
        }
    }
    return url;
}

}  // namespace

std::string ChromiumDumpDom(const std::string& path) {
    return chromium("--dump-dom " + ShellQuote(fileUrl(path)));
}

bool ChromiumScreenshot(const std::string& path, const std::string& png, int width, int height) {
    std::filesystem::remove(png);
    chromium("--hide-scrollbars --window-size=" + std::to_string(width) + "," + std::to_string(height) +
             " --screenshot=" + ShellQuote(png) + " " + ShellQuote(fileUrl(path)));
    return std::filesystem::exists(png);
}

std::vector<std::string> UnbalancedElements(const std::string& html) {
    static const std::set<std::string> kVoid = {"area",  "base", "br",   "col",   "embed",  "hr",    "img",
                                                "input", "link", "meta", "param", "source", "track", "wbr"};
    std::vector<std::string> problems, open;
    size_t at = 0;
    while ((at = html.find('<', at)) != std::string::npos) {
        size_t end = at + 1;
        if (html.compare(at, 4, "<!--") == 0) {
            end = html.find("-->", at);
            at = end == std::string::npos ? html.size() : end + 3;
            continue;
        }
        if (end < html.size() && html[end] == '!') {  // the doctype
            at = html.find('>', at);
            if (at == std::string::npos) break;
            continue;
        }
        const bool closing = end < html.size() && html[end] == '/';
        if (closing) ++end;
        std::string name;
        while (end < html.size() && std::isalnum(static_cast<unsigned char>(html[end])))
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(html[end++])));
        // To the end of the tag, quoted attribute values skipped whole.
        char quote = 0;
        for (; end < html.size() && (quote || html[end] != '>'); ++end)
            if (quote ? html[end] == quote : (html[end] == '"' || html[end] == '\''))
                quote = quote ? 0 : html[end];
        at = end;
        if (name.empty() || kVoid.count(name)) continue;
        if (!closing) {
            open.push_back(name);
        } else if (!open.empty() && open.back() == name) {
            open.pop_back();
        } else if (std::find(open.begin(), open.end(), name) != open.end()) {
            while (open.back() != name) {
                problems.push_back("<" + open.back() + "> closed by </" + name + ">");
                open.pop_back();
            }
            open.pop_back();
        } else {
            problems.push_back("</" + name + "> without start");
        }
    }
    for (const std::string& name : open) problems.push_back("<" + name + "> never closed");
    return problems;
}

}  // namespace xbtest
