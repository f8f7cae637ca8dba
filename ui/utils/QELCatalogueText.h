#pragma once

#include <QString>
#include <string>

class QELSoundEffect;
struct QELHotkey;

// What the screens show for a sound effect and a catalogue category: the
// English title the catalogue gives when the interface speaks English, the
// Chinese name otherwise (and for the user's own recordings). Collection
// entries carry no English title of their own, so theirs comes from the
// shipped catalogue by category and name.
QString QELEffectTitle(const QELSoundEffect& effect);
// A built-in effect by its category and Chinese name.
QString QELEffectTitle(const std::string& category, const std::string& name);
QString QELCategoryTitle(const std::string& category);
// What a hotkey fires: "category/title" of a built-in effect in the
// interface's language, else the name it stores.
QString QELHotkeyTitle(const QELHotkey& hotkey);
