#include <QApplication>
#include <QIcon>
#include <QLocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "QELAppDelegate.h"
#include "app/QELDBusService.h"
#include "foundation/TerminationSignals.h"
#include "ui/platform/Image.h"
#include "ui/platform/Language.h"

namespace {

void printHelp() {
    std::fputs(
        "Usage: quellio [OPTION]...\n"
        "The sound-effect board for live broadcasters (声匣): tap an effect to play it,\n"
        "record and voice-change your own, keep them in your collection.\n"
        "\n"
        "Starting it again brings the running window to the front. Qt's own options\n"
        "(-platform NAME, -display DISPLAY, ...) are accepted as well.\n"
        "\n"
        "options:\n"
        "  -h, --help     show this help and exit\n"
        "  -V, --version  show the version and exit\n"
        "\n"
        "Exit status:\n"
        "  0  the window was closed, the program was asked to quit (SIGTERM, SIGINT,\n"
        "     SIGHUP), or a running window was brought to the front\n"
        "  1  another instance holds the session bus name but does not answer\n"
        "  2  the command line was not understood (usage error)\n"
        "\n"
        "quellio-cli plays, lists and records from the command line.\n",
        stdout);
}

}  // namespace

int main(int argc, char** argv) {
    // Answered before Qt starts, so that they need no display.
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--help")) {
            printHelp();
            return 0;
        }
        if (!std::strcmp(argv[i], "-V") || !std::strcmp(argv[i], "--version")) {
            std::printf("quellio (Quellio) %s\n", QUELLIO_VERSION);
            return 0;
        }
    }
    // First, so that a request to end during launch is not lost.
    platform::TerminationSignals::install();
    QApplication application(argc, argv);
    // Qt has taken its own options out of argv; anything left is not ours.
    if (argc > 1) {
        std::fprintf(stderr, "quellio: unrecognised argument '%s'\nTry 'quellio --help' for more information.\n",
                     argv[1]);
        return 2;
    }
    // Before any screen exists: texts are translated when they are set.
    const char* forced = std::getenv("QUELLIO_LANG");
    std::string warning;
    const auto language =
        platform::chooseLanguage(forced ? std::optional<std::string>(forced) : std::nullopt,
                                 QLocale::system().uiLanguages(), &warning);
    if (!warning.empty()) std::fprintf(stderr, "quellio: %s\n", warning.c_str());
    platform::useLanguage(language);
    QApplication::setApplicationName(QStringLiteral("Quellio"));
    QApplication::setApplicationDisplayName(
        QCoreApplication::translate("main", "声匣", "the program's name in its window title"));
    QApplication::setApplicationVersion(QStringLiteral(QUELLIO_VERSION));
    // One program at a time: a second start brings the first one forward.
    // Without a session bus the program runs alone, uncontrolled from outside.
    auto leaveToOther = [](bool raised) {
        if (raised) return 0;
        std::fprintf(stderr, "quellio: another instance holds %s but does not answer\n",
                     QELDBusService::kServiceName);
        return 1;
    };
    bool raised = false;
    if (QELDBusService::raiseRunning(&raised)) return leaveToOther(raised);
    // Lets the desktop match the window to the installed entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.zentrik.quellio"));
    QApplication::setWindowIcon(QIcon(platform::imageNamed(QStringLiteral("AppIcon"), QSizeF(64, 64))));
    QELAppDelegate delegate;
    delegate.didFinishLaunching(application);
    // The name only now that its object answers.
    if (QELDBusService::claimBusName(&raised) == QELDBusService::Claim::TakenByAnother)
        return leaveToOther(raised);
    return QApplication::exec();
}
