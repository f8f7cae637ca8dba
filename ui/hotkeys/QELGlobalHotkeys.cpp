#include "ui/hotkeys/QELGlobalHotkeys.h"

#include <QGuiApplication>
#include <algorithm>

#include "ui/hotkeys/QELPortalHotkeys.h"
#include "ui/hotkeys/QELX11Hotkeys.h"

std::unique_ptr<QELGlobalHotkeys> QELGlobalHotkeys::create(Fired fired) {
    const bool portal = qEnvironmentVariable("QUELLIO_HOTKEYS") == QLatin1String("portal") ||
                        QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    if (portal) return std::make_unique<QELPortalHotkeys>(std::move(fired));
    return std::make_unique<QELX11Hotkeys>(std::move(fired));
}

bool QELGlobalHotkeys::isTaken(const QELKeyCombo& combo) const {
    return std::ranges::find(taken_, combo) != taken_.end();
}

bool QELGlobalHotkeys::assign(const QELHotkey& hotkey) {
    QELHotkeys hotkeys;
    hotkeys.set(hotkey);
    setHotkeys(hotkeys.all());
    return !isTaken(hotkey.combo);
}

bool QELGlobalHotkeys::clear(const QELKeyCombo& combo) {
    QELHotkeys hotkeys;
    if (!hotkeys.clear(combo)) return false;
    setHotkeys(hotkeys.all());
    return true;
}
