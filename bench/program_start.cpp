// Cold start of the whole program (three tabs, the board shown) to the first
// painted frame of the board, and the resident memory of the idle program
// with the catalogue loaded.
//
// Runs the application's own start-up (the app delegate) on Qt's offscreen
// platform with the null audio output, in a fresh process: the time is taken
// from process start (kernel start time, 10 ms steps) and from main().
// Targets: first frame within 400 ms (the board alone: 300 ms), at most
// 150 MB resident when idle (the board alone: 120 MB).
#include <unistd.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "QELAppDelegate.h"
#include "ui/board/QELSoundEffectCollectionViewCell.h"

namespace {

double secondsSinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    // Field 22 (starttime) is the 20th after the command name.
    for (int i = 0; i < 20; ++i) fields >> field;
    const double start = std::stod(field) / static_cast<double>(sysconf(_SC_CLK_TCK));
    std::ifstream uptime("/proc/uptime");
    double up = 0;
    uptime >> up;
    return up - start;
}

long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// Notes the first paint of a board button.
class FirstFrame : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted &&
            dynamic_cast<QELSoundEffectCollectionViewCell*>(watched->parent()))
            painted = true;
        return false;
    }
    bool painted = false;
};

}  // namespace

int main(int argc, char** argv) {
    QElapsedTimer sinceMain;
    sinceMain.start();
    const double processStartOffset = secondsSinceProcessStart();
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("QUELLIO_AUDIO_BACKEND", "null", 0);
    const auto home =
        std::filesystem::temp_directory_path() / ("quellio-bench-" + std::to_string(::getpid()));
    ::setenv("QUELLIO_HOME", home.c_str(), 1);

    QApplication application(argc, argv);
    QApplication::setApplicationVersion(QUELLIO_VERSION);
    FirstFrame firstFrame;
    application.installEventFilter(&firstFrame);
    QELAppDelegate delegate;
    delegate.didFinishLaunching(application);
    while (!firstFrame.painted) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double mainMs = static_cast<double>(sinceMain.nsecsElapsed()) / 1e6;
    std::printf("first frame: %.1f ms since main(), %.0f ms since process start\n", mainMs,
                mainMs + processStartOffset * 1000);

    // Idle for two seconds: the catalogue's sounds finish decoding meanwhile.
    QTimer::singleShot(2000, &application, &QCoreApplication::quit);
    QApplication::exec();
    std::printf("resident idle: %.1f MB\n", residentKilobytes() / 1024.0);
    std::filesystem::remove_all(home);
    return 0;
}
