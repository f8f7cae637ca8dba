#include "ui/utils/QELCatalogueText.h"

#include <map>

#include "core/catalogue/QELSoundEffect.h"
#include "core/catalogue/QELSoundEffectCategory.h"
#include "core/catalogue/QELSoundEffectResourceBundle.h"
#include "core/remote/QELHotkeys.h"
#include "ui/platform/Language.h"

namespace {

struct EnglishNames {
    std::map<std::string, std::string> categories;
    std::map<std::pair<std::string, std::string>, std::string> effects;  // by category, name
};

// Read once, on the first English title asked for.
const EnglishNames& englishNames() {
    static const EnglishNames names = [] {
        EnglishNames n;
        const auto& bundle = QELSoundEffectResourceBundle::bundle();
        for (const QELSoundEffectCategory& category :
             QELSoundEffectCategory::loadAll(bundle.plistPaths())) {
            if (!category.englishName.empty()) n.categories[category.name] = category.englishName;
            for (const auto& effect : category.soundEffects)
                if (!effect->englishTitle().empty())
                    n.effects[{category.name, effect->name()}] = effect->englishTitle();
        }
        return n;
    }();
    return names;
}

}  // namespace

QString QELEffectTitle(const QELSoundEffect& effect) {
    if (effect.isUserCustom()) return QString::fromStdString(effect.name());
    if (platform::currentLanguage() == platform::Language::English &&
        !effect.englishTitle().empty())
        return QString::fromStdString(effect.englishTitle());
    return QELEffectTitle(effect.category(), effect.name());
}

QString QELEffectTitle(const std::string& category, const std::string& name) {
    if (platform::currentLanguage() == platform::Language::English) {
        const auto& effects = englishNames().effects;
        if (auto it = effects.find({category, name}); it != effects.end())
            return QString::fromStdString(it->second);
    }
    return QString::fromStdString(name);
}

QString QELCategoryTitle(const std::string& category) {
    if (platform::currentLanguage() == platform::Language::English) {
        const auto& categories = englishNames().categories;
        if (auto it = categories.find(category); it != categories.end())
            return QString::fromStdString(it->second);
    }
    return QString::fromStdString(category);
}

QString QELHotkeyTitle(const QELHotkey& hotkey) {
    if (hotkey.action != QELHotkey::Action::Play) return QString::fromStdString(hotkey.describe());
    return QELCategoryTitle(hotkey.category) + QLatin1Char('/') +
           QELEffectTitle(hotkey.category, hotkey.title);
}
