// The baseline of the program's start: a bare Qt Widgets program that shows one window and ends once that
// window is active, writing the same monotonic clock readings as the program's measurement switch.
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdio>

namespace {
long long Now() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

int main(int argc, char** argv) {
    const long long entered = Now();
    if (argc < 2) return 2;
    const char* file = argv[1];
    QApplication app(argc, argv);
    QWidget window;
    window.resize(640, 400);
    struct Watch : QObject {
        const char* file;
        long long entered;
        QWidget* window;
        bool done = false;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::WindowActivate && !done) {
                done = true;
                QTimer::singleShot(0, window, [this] {
                    const long long activated = Now();
                    window->close();
                    if (std::FILE* f = std::fopen(file, "w")) {
                        std::fprintf(f, "entered %lld\nactivated %lld\nshutdown %lld\n", entered, activated,
                                     Now());
                        std::fclose(f);
                    }
                });
            }
            return false;
        }
    } watch;
    watch.file = file;
    watch.entered = entered;
    watch.window = &window;
    window.installEventFilter(&watch);
    window.show();
    window.activateWindow();
    return app.exec();
}
