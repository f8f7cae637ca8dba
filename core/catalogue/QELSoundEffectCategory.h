#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/catalogue/QELSoundEffect.h"

// One catalogue category, a value copied on assignment.
struct QELSoundEffectCategory {
    int64_t index = 0;
    std::string name;
    // The English title, empty when the catalogue gives none; for display.
    std::string englishName;
    std::vector<QELSoundEffect::Ref> soundEffects;
    std::string fileName;

    // Parses one category property list. The catalogue is shipped data, so
    // every malformation stops the program with a message naming it.
    static QELSoundEffectCategory initWithPath(const std::string& path);

    // Parses every file in order and sorts the categories by index.
    static std::vector<QELSoundEffectCategory> loadAll(const std::vector<std::string>& plistPaths);
};
