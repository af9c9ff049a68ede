// The whole road through the program, on a real X display (xcb) with the real windows and dialogs. Run
// without arguments it is the check: it copies itself into an empty folder, which the program takes as its
// own, runs the first station there (language choice, a championship with its season rules, players, six
// teams with squads, three matchdays through the results and match entry windows, standings, the report
// windows, two PDFs, the standings page through the export chooser, a backup, one more match, the restore,
// quit), then a second station on the same folder (no language choice, the data there), and checks what
// they left. Every step's screen is kept in <out>/NN-step.png with an index page listing them in order.
//
//   program_road OUTDIR            the check (under xvfb-run, QT_QPA_PLATFORM=xcb)
//   program_road OUTDIR --reports  the report stations only (the road on a small screen)
//   program_road OUTDIR [--reports] --window-manager
//                                  the same under openbox, every window's frame measured from outside
#include "app/program/qt/road/road.h"

namespace road {
namespace {

Road* g_road = nullptr;
int g_station = 0;
std::string g_out;

void StartRoad() {
    g_road = new Road(g_station, g_out);
    // The shell stand-in replaces the desktop's opener once the program installed it: no browser starts.
    g_road->add("shell stand-in", [] {
        g_shell = new RecordingShell;
        xb::platform::SetShell(g_shell);
    });
    if (g_station == 1)
        FirstStation(*g_road, g_out);
    else if (g_station == 2)
        SecondStation(*g_road, g_out);
    else
        ReportStation(*g_road, g_out, g_station == 3 ? kFrench : kCroatian, g_station == 3 ? "fr" : "hr");
    g_road->start();
}

int Station(int station, const std::string& out, char* argv0) {
    g_station = station;
    g_out = out;
    qAddPreRoutine([] { QTimer::singleShot(0, [] { StartRoad(); }); });
    char* args[] = {argv0, nullptr};
    const int status = app::RunProgram(1, args, app::ProgramWindowEntries());
    std::ofstream log(out + "/station" + std::to_string(station) + ".log");
    log << "status " << status << "\n";
    for (const std::string& f : g_road ? g_road->failures() : std::vector<std::string>{"road never started"})
        log << "FAIL " << f << "\n";
    return status != 0 || !g_road || !g_road->failures().empty() ? 1 : 0;
}

}  // namespace
}  // namespace road

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--station")
        return road::Station(std::atoi(argv[2]), argv[3], argv[0]);
    bool reportsOnly = false, windowManager = false, known = argc >= 2;
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        reportsOnly = reportsOnly || option == "--reports";
        windowManager = windowManager || option == "--window-manager";
        known = known && (option == "--reports" || option == "--window-manager");
    }
    if (!known) {
        std::fprintf(stderr, "usage: %s OUTDIR [--reports] [--window-manager]\n", argv[0]);
        return 2;
    }
    return road::Check("/proc/self/exe", argv[1], reportsOnly, windowManager);
}
