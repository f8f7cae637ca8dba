#include <QApplication>
#include <QIcon>
#include <cstdio>

#include "QELAppDelegate.h"
#include "app/QELDBusService.h"
#include "foundation/TerminationSignals.h"
#include "ui/platform/Image.h"

int main(int argc, char** argv) {
    // First, so that a request to end during launch is not lost.
    platform::TerminationSignals::install();
    QApplication application(argc, argv);
    QApplication::setApplicationName("Quellio");
    QApplication::setApplicationDisplayName(QStringLiteral("声匣"));
    QApplication::setApplicationVersion(QUELLIO_VERSION);
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
    QApplication::setWindowIcon(QIcon(platform::imageNamed("AppIcon", QSizeF(64, 64))));
    QELAppDelegate delegate;
    delegate.didFinishLaunching(application);
    // The name only now that its object answers.
    if (QELDBusService::claimBusName(&raised) == QELDBusService::Claim::TakenByAnother)
        return leaveToOther(raised);
    return QApplication::exec();
}
