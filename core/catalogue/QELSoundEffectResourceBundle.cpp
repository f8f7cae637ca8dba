#include "core/catalogue/QELSoundEffectResourceBundle.h"

#include <cstdlib>
#include <optional>

#include "foundation/Fatal.h"

const QELSoundEffectResourceBundle& QELSoundEffectResourceBundle::bundle() {
    static const QELSoundEffectResourceBundle shared = init();
    return shared;
}

QELSoundEffectResourceBundle QELSoundEffectResourceBundle::init() {
    std::optional<std::string> path;
    if (const char* override = std::getenv("QUELLIO_SOUND_EFFECTS"); override && *override) {
        path = override;
    } else {
        path = platform::Bundle::main().pathForResource("SoundEffects", "bundle");
    }
    if (!path) platform::fatal("Sound Effect bundle not found");
    auto opened = platform::Bundle::open(*path);
    if (!opened) platform::fatal();
    return QELSoundEffectResourceBundle(std::move(*opened));
}

QELSoundEffectResourceBundle QELSoundEffectResourceBundle::initWithPath(const std::string&) {
    platform::fatal("init(path:) has not been implemented");
}
