// A second process for the window message tests: a GUI program with one shown
// widget that answers window messages. It prints "W <window id>" when ready
// and takes commands on its standard input, one a line:
//   busy  prints "B", keeps its GUI thread busy for 1 s, then prints
//         "F <CLOCK_MONOTONIC in ns>" the moment it is free again
//   quit  ends the program
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>
#include <cstdio>
#include <string>
#include <thread>

#include "platform/linux/window_message.h"

// The desktop libraries under QApplication keep allocations to the end of the
// process; this helper is not what the tests check for leaks.
extern "C" const char* __asan_default_options() {
    return "detect_leaks=0";
}

namespace {

long long MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(100, 50);
    window.show();
    zx::InstallWindowMessageReceiver();
    std::printf("W %llu\n", static_cast<unsigned long long>(window.winId()));
    std::fflush(stdout);

    std::string pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            app.quit();
            return;
        }
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t eol; (eol = pending.find('\n')) != std::string::npos;) {
            std::string command = pending.substr(0, eol);
            pending.erase(0, eol + 1);
            if (command == "busy") {
                std::printf("B\n");
                std::fflush(stdout);
                std::this_thread::sleep_for(std::chrono::seconds(1));
                std::printf("F %lld\n", MonotonicNs());
                std::fflush(stdout);
            } else if (command == "quit") {
                app.quit();
            }
        }
    });
    return app.exec();
}
