#pragma once

#include <QString>
#include <string>

class QELSoundEffect;

// What the screens show for a sound effect and a catalogue category: the
// English title the catalogue gives when the interface speaks English, the
// Chinese name otherwise (and for the user's own recordings). Collection
// entries carry no English title of their own, so theirs comes from the
// shipped catalogue by category and name.
QString QELEffectTitle(const QELSoundEffect& effect);
QString QELCategoryTitle(const std::string& category);
