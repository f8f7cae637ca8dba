#include "core/catalogue/QELSoundEffectCategory.h"

#include <algorithm>
#include <filesystem>

#include "foundation/Fatal.h"
#include "foundation/PropertyList.h"

using platform::Value;

QELSoundEffectCategory QELSoundEffectCategory::initWithPath(const std::string& path) {
    auto root = platform::PropertyList::readFile(path);
    if (!root || !root->isDictionary()) platform::fatal("Plist file " + path + " not found");

    const Value* category = root->find("category");
    if (!category || !category->isString()) platform::fatal("Key of `category` not found in " + path);

    QELSoundEffectCategory result;
    result.name = *category->asString();
    if (const Value* english = root->find("englishCategory"); english && english->isString())
        result.englishName = *english->asString();
    result.fileName = std::filesystem::path(path).stem().string();

    const Value* list = root->find("list");
    if (!list || !list->isArray()) platform::fatal("Key of `list` not found or type error " + path);
    result.soundEffects.reserve(list->asArray()->size());
    for (const Value& item : *list->asArray()) {
        if (!item.isDictionary()) platform::fatal("Item in list is not an dictionay");
        auto effect = QELSoundEffect::init(result.name, item, result.fileName);
        if (!effect) platform::fatal();
        result.soundEffects.push_back(std::move(effect));
    }

    const Value* index = root->find("index");
    // Any number will do; a fraction is dropped as the platform's integer
    // conversion of a number does.
    std::optional<double> number = index ? index->asReal() : std::nullopt;
    if (!number || !(*number > -9.2e18 && *number < 9.2e18)) platform::fatal("Key of `index` not found");
    result.index = index->asInteger().value_or(static_cast<int64_t>(*number));
    return result;
}

std::vector<QELSoundEffectCategory> QELSoundEffectCategory::loadAll(
    const std::vector<std::string>& plistPaths) {
    std::vector<QELSoundEffectCategory> categories;
    categories.reserve(plistPaths.size());
    for (const std::string& path : plistPaths) categories.push_back(initWithPath(path));
    std::sort(categories.begin(), categories.end(),
              [](const QELSoundEffectCategory& a, const QELSoundEffectCategory& b) { return a.index < b.index; });
    return categories;
}
