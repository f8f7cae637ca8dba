#include "ui/hotkeys/QELGlobalHotkeys.h"

#include <algorithm>

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
