#include "ui/hotkeys/QELHotkeyBackends.h"

#include <QGuiApplication>

#include "ui/hotkeys/QELPortalHotkeys.h"
#include "ui/hotkeys/QELX11Hotkeys.h"

std::unique_ptr<QELGlobalHotkeys> createGlobalHotkeys(QELGlobalHotkeys::Fired fired) {
    const bool portal = qEnvironmentVariable("QUELLIO_HOTKEYS") == QLatin1String("portal") ||
                        QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    if (portal) return std::make_unique<QELPortalHotkeys>(std::move(fired));
    return std::make_unique<QELX11Hotkeys>(std::move(fired));
}
