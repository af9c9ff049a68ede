// The check: the four stations started one after the other, then what they left read: screenshots not
// blank, the printouts' rows, titles and text sizes, the pages' rows and markup, all listed in an index page.
#include "app/program/qt/road/road.h"

#include <fcntl.h>

#include <csignal>
#include <thread>

extern char** environ;

namespace road {

int Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

bool Blank(const std::string& png) {
    const QImage image(QString::fromStdString(png));
    if (image.isNull()) return true;
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); y += 7)
        for (int x = 0; x < image.width(); x += 7) colours.insert(image.pixel(x, y));
    return colours.size() < 16;
}

std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

// A window manager on the display, which frames every window; stopped when the road ends.
class WindowManager {
public:
    explicit WindowManager(const std::string& out) {
        // Running once it names itself on the root window; a few seconds at the most. One that ends at once
        // (the display not yet taking clients) is started again.
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (!m_running && std::chrono::steady_clock::now() < until) {
            if (m_pid <= 0) spawn(out);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            int status = 0;
            if (m_pid > 0 && waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                continue;
            }
            m_running = m_pid > 0 && xbtest::RunCommand("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") !=
                                         std::string::npos;
        }
        if (m_running) setenv("LM_ROAD_WINDOW_MANAGER", "openbox", 1);
    }
    ~WindowManager() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
    bool running() const { return m_running; }

private:
    void spawn(const std::string& out) {
        const std::string log = out + "/openbox.log";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::vector<std::string> args = {"/usr/bin/openbox", "--sm-disable"};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }

    pid_t m_pid = -1;
    bool m_running = false;
};

int Check(const char* self, const std::string& out, bool reportsOnly, bool windowManager) {
    std::vector<std::string> failures;
    fs::remove_all(out);
    fs::create_directories(out + "/program");
    std::optional<WindowManager> manager;
    if (windowManager) {
        manager.emplace(out);
        if (!manager->running()) failures.push_back("openbox did not start on the display");
    }
    const std::string exe = out + "/program/pelmorad32-road";
    fs::copy_file(self, exe);
    // The reports in two languages, each from a first start in a folder of its own.
    std::vector<std::pair<int, std::string>> stations;
    if (!reportsOnly) stations = {{1, exe}, {2, exe}};
    for (const char* tag : {"fr", "hr"}) {
        const std::string folder = out + "/program-" + tag;
        fs::create_directories(folder);
        fs::copy_file(self, folder + "/pelmorad32-road");
        stations.push_back({tag == std::string("fr") ? 3 : 4, folder + "/pelmorad32-road"});
    }
    for (const auto& [station, program] : stations) {
        const int status = Spawn({program, "--station", std::to_string(station), out});
        const std::string log = ReadAll(out + "/station" + std::to_string(station) + ".log");
        std::fprintf(stderr, "station %d: status %d\n%s", station, status, log.c_str());
        if (status != 0)
            failures.push_back("station " + std::to_string(station) + " status " + std::to_string(status));
    }
    // The PDFs as pictures and text; the exported page as the browser shows it and its DOM.
    std::vector<std::string> pictures;
    for (const auto& e : fs::directory_iterator(out))
        if (e.path().extension() == ".png") pictures.push_back(e.path().filename().string());
    std::sort(pictures.begin(), pictures.end());
    for (const std::string& png : pictures)
        if (Blank(out + "/" + png)) failures.push_back("blank screenshot " + png);
    std::vector<std::string> rendered;
    for (const char* pdf : {"standings", "matchday"}) {
        if (reportsOnly) break;
        const std::string path = out + "/" + pdf + ".pdf";
        if (!fs::exists(path)) {
            failures.push_back(std::string("no ") + pdf + ".pdf");
            continue;
        }
        xbtest::RunCommand("pdftoppm -png -r 60 -f 1 -l 1 " + xbtest::ShellQuote(path) + " " +
                           xbtest::ShellQuote(out + "/pdf-" + pdf));
        for (const auto& e : fs::directory_iterator(out))
            if (e.path().filename().string().rfind(std::string("pdf-") + pdf, 0) == 0)
                rendered.push_back(e.path().filename().string());
    }
    const std::string page = out + "/standings.htm";
    const std::vector<std::string> model = [] { return ModelLines(); }();
    // The first station's page and printout (not on the road of the report stations only).
    if (!reportsOnly && fs::exists(page)) {
        xbtest::ChromiumScreenshot(page, out + "/html-standings.png", 1000, 900);
        rendered.push_back("html-standings.png");
        // The DOM Chromium made and the PDF's text show the same rows: each team with its figures, in order.
        const std::string dom = xbtest::ChromiumDumpDom(page);
        const xbtest::HtmlDocument doc = xbtest::ReadHtmlDocument(dom);
        std::vector<std::string> domRows;
        for (const auto& table : doc.tables)
            for (const auto& row : table)
                for (size_t c = 0; c + 8 < row.size() + 1 && c < row.size(); ++c)
                    for (const char* team : kTeams)
                        if (row[c] == team && c + 6 < row.size()) {
                            std::string line = row[c];
                            for (size_t k = c + 1; k <= c + 7 && k < row.size(); ++k) line += " " + row[k];
                            domRows.push_back(line);
                        }
        if (domRows != model) {
            std::string got;
            for (const std::string& r : domRows) got += r + " | ";
            failures.push_back("page rows differ from the model: " + got);
        }
        const std::string text =
            xbtest::RunCommand("pdftotext -layout " + xbtest::ShellQuote(out + "/standings.pdf") + " -");
        size_t at = 0;
        for (const std::string& row : model) {
            // In the PDF the row's figures follow its name separated by blanks.
            std::istringstream fields(row);
            std::string name;
            fields >> name;
            at = text.find(name, at);
            if (at == std::string::npos) {
                failures.push_back("pdf lacks " + name + " in order");
                break;
            }
            const std::string line = text.substr(at, text.find('\n', at) - at);
            std::istringstream lineFields(line), want(row);
            std::string a, b;
            bool same = true;
            while (want >> b) {
                lineFields >> a;
                same = same && a == b;
            }
            if (!same) failures.push_back("pdf row '" + line + "' differs from '" + row + "'");
        }
    } else if (!reportsOnly) {
        failures.push_back("no exported standings page");
    }
    // Every page the reports exported parses balanced and names the markup team as typed; the printouts
    // of the standings and the scorers say under their title what they show.
    for (const char* tag : {"fr", "hr"}) {
        for (const char* report : {"standings", "scorers", "team-matches", "team-information", "results-grid",
                                   "head-to-head", "matchday"}) {
            const std::string page = out + "/" + tag + "-" + report + ".htm";
            if (!fs::exists(page)) {
                failures.push_back("no page " + page);
                continue;
            }
            for (const std::string& problem : xbtest::UnbalancedElements(ReadAll(page)))
                failures.push_back(page + ": " + problem);
            const std::string text = ReadAll(page);
            if (std::string(report) != "matchday" && std::string(report) != "scorers" &&
                text.find("Lille &lt;b&gt;&amp;&quot;OSC") == std::string::npos)
                failures.push_back(page + ": the markup team is not named as typed");
            if (std::string(report) == "scorers" && text.find("Pierre &lt;i&gt;&amp;&quot;Dupr\u00e9") == std::string::npos)
                failures.push_back(page + ": the markup player is not named as typed");
            // The pages as a browser 1,200 pixels wide shows them.
            if (std::string(report) == "team-information" || std::string(report) == "head-to-head" ||
                std::string(report) == "standings" || std::string(report) == "scorers") {
                const std::string png = std::string("html-") + tag + "-" + report + ".png";
                xbtest::ChromiumScreenshot(page, out + "/" + png, 1200, 1600);
                rendered.push_back(png);
            }
        }
        for (const char* report : {"standings", "scorers", "team-matches", "team-information", "head-to-head",
                                   "championship-statistics", "matchday"}) {
            const std::string pdf = out + "/" + tag + "-" + report + ".pdf";
            if (!fs::exists(pdf)) {
                failures.push_back("no printout " + pdf);
                continue;
            }
            xbtest::RunCommand("pdftoppm -png -r 50 -f 1 -l 1 " + xbtest::ShellQuote(pdf) + " " +
                               xbtest::ShellQuote(out + "/pdf-" + tag + "-" + report));
            for (const auto& e : fs::directory_iterator(out))
                if (e.path().filename().string().rfind(std::string("pdf-") + tag + "-" + report + "-", 0) ==
                    0)
                    rendered.push_back(e.path().filename().string());
            // Every printed word at 8 points at the least: the box poppler gives a word is about 1.16 times
            // the size of the sans-serif face the charts print in.
            const std::string boxes = xbtest::RunCommand("pdftotext -bbox " + xbtest::ShellQuote(pdf) + " -");
            static const std::regex word(R"re(<word xMin="[0-9.]+" yMin="([0-9.]+)" xMax="[0-9.]+" yMax="([0-9.]+)">([^<]*)<)re");
            for (auto w = std::sregex_iterator(boxes.begin(), boxes.end(), word); w != std::sregex_iterator(); ++w)
                if (std::stod((*w)[2]) - std::stod((*w)[1]) < 8 * 1.16) {
                    failures.push_back(pdf + ": text smaller than 8 pt: " + (*w)[3].str());
                    break;
                }
            const std::string text = xbtest::RunCommand("pdftotext " + xbtest::ShellQuote(pdf) + " -");
            if (text.find(kLongChampionship) == std::string::npos)
                failures.push_back(pdf + ": no championship name");
            // Every page says what it shows: the championship, or the two teams met.
            const std::string heading = std::string(report) == "head-to-head" ? kMarkupTeam : kLongChampionship;
            const std::string info = xbtest::RunCommand("pdfinfo " + xbtest::ShellQuote(pdf));
            std::smatch pagesFound;
            static const std::regex pagesLine(R"(Pages:\s+(\d+))");
            const int pages = std::regex_search(info, pagesFound, pagesLine) ? std::stoi(pagesFound[1]) : 0;
            if (pages == 0) failures.push_back(pdf + ": no pages");
            for (int n = 1; n <= pages; ++n) {
                const std::string page = xbtest::RunCommand("pdftotext -f " + std::to_string(n) + " -l " +
                                                            std::to_string(n) + " " + xbtest::ShellQuote(pdf) + " -");
                if (page.find(heading) == std::string::npos)
                    failures.push_back(pdf + ": page " + std::to_string(n) + " of " + std::to_string(pages) +
                                       " without its heading");
            }
            if (std::string(report) == "standings" || std::string(report) == "scorers") {
                // Championship, season, range and type in that order, under the title.
                size_t at = 0;
                for (const std::string& want :
                     {std::string(kLongChampionship), std::string("2026 - 2027"), std::string(": 1"),
                      app::BuiltInText(app::Text::MatchType, tag == std::string("fr") ? kFrench : kCroatian)
                              .toStdString() +
                          ": "}) {
                    at = text.find(want, at);
                    if (at == std::string::npos) {
                        failures.push_back(pdf + ": lacks '" + want + "' under its title");
                        break;
                    }
                }
            }
        }
    }
    // The index page: the screenshots in order, then the PDFs and the page as rendered.
    std::ofstream index(out + "/index.html");
    index << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>The "
             "road</title></head><body>\n<h1>The "
             "road through the program</h1>\n";
    for (const std::string& png : pictures)
        index << "<h2>" << png << "</h2><img src=\"" << png << "\" width=\"900\">\n";
    for (const std::string& png : rendered)
        index << "<h2>" << png << "</h2><img src=\"" << png << "\" width=\"700\">\n";
    index << "<h2>Result</h2><pre>" << (failures.empty() ? "all checks passed" : "") << "\n";
    for (const std::string& f : failures) index << f << "\n";
    index << "</pre></body></html>\n";
    for (const std::string& f : failures) std::fprintf(stderr, "FAIL %s\n", f.c_str());
    std::fprintf(stderr, "%zu screenshots, %zu rendered; %s\n", pictures.size(), rendered.size(),
                 failures.empty() ? "road passed" : "road FAILED");
    return failures.empty() ? 0 : 1;
}

}  // namespace road
