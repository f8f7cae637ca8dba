#pragma once

#include <string>
#include <vector>

#include "foundation/Bundle.h"

// The shipped "SoundEffects" bundle: one property list per category at its
// top level, the category's audio files in a sub-directory of the same name.
class QELSoundEffectResourceBundle final : public platform::Bundle {
public:
    // The one shared instance, located on first use.
    static const QELSoundEffectResourceBundle& bundle();

    // Locates the bundle among the program's resources; stops with "Sound
    // Effect bundle not found" when there is none. QUELLIO_SOUND_EFFECTS
    // names another bundle directory (development and tests).
    static QELSoundEffectResourceBundle init();
    // The bundle always finds itself; being handed a path is a programming
    // error and stops.
    [[noreturn]] static QELSoundEffectResourceBundle initWithPath(const std::string& path);

    // The category files, in enumeration order.
    std::vector<std::string> plistPaths() const { return pathsForResourcesOfType("plist"); }

private:
    explicit QELSoundEffectResourceBundle(platform::Bundle opened) : platform::Bundle(std::move(opened)) {}
};
