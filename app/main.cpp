#include <QApplication>
#include <QIcon>

#include "QELAppDelegate.h"
#include "foundation/TerminationSignals.h"
#include "ui/platform/Image.h"

int main(int argc, char** argv) {
    // First, so that a request to end during launch is not lost.
    platform::TerminationSignals::install();
    QApplication application(argc, argv);
    QApplication::setApplicationName("Quellio");
    QApplication::setApplicationDisplayName(QStringLiteral("声匣"));
    QApplication::setApplicationVersion(QUELLIO_VERSION);
    // Lets the desktop match the window to the installed entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.zentrik.quellio"));
    QApplication::setWindowIcon(QIcon(platform::imageNamed("AppIcon", QSizeF(64, 64))));
    QELAppDelegate delegate;
    delegate.didFinishLaunching(application);
    return QApplication::exec();
}
