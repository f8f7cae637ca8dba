#pragma once

#include <memory>

#include "ui/hotkeys/QELGlobalHotkeys.h"

// X11 key grabs, or the desktop portal on Wayland (or when
// QUELLIO_HOTKEYS=portal asks for it).
std::unique_ptr<QELGlobalHotkeys> createGlobalHotkeys(QELGlobalHotkeys::Fired fired);
