#include "core/playback/QELSoundEffectListDataProvider.h"

#include "core/catalogue/QELSoundEffectResourceBundle.h"
#include "audio/AudioAssetReader.h"
#include "foundation/DebugLog.h"
#include "foundation/Fatal.h"

QELSoundEffectListDataProvider::QELSoundEffectListDataProvider()
    : QELSoundEffectListDataProvider(QELSoundEffectResourceBundle::bundle().plistPaths()) {}

QELSoundEffectListDataProvider::QELSoundEffectListDataProvider(
    const std::vector<std::string>& plistPaths)
    : soundEffectCategories_(QELSoundEffectCategory::loadAll(plistPaths)) {
    findUnavailable();
}

void QELSoundEffectListDataProvider::findUnavailable() {
    // Only the header is read: a file that opens as audio here is decoded
    // later, off the main thread.
    for (const auto& c : *soundEffectCategories_) {
        for (const auto& effect : c.soundEffects) {
            platform::AudioError error;
            if (!effect->isAvailable()) {
                error.message = "missing " + effect->resourcePath();
            } else if (platform::AudioAssetReader::open(effect->resourcePath(), &error)) {
                continue;
            }
            QEL_DEBUG_ERROR("sound effect " + c.name + "/" + effect->name() +
                            " disabled: " + error.message);
            unavailable_.insert(effect.get());
        }
    }
}

bool QELSoundEffectListDataProvider::isAvailableAtIndexPath(
    const platform::IndexPath& indexPath) const {
    return !unavailable_.contains(objectAtIndexPath(indexPath).get());
}

const QELSoundEffectCategory& QELSoundEffectListDataProvider::category(int64_t section) const {
    if (section < 0 || section >= numberOfSections()) {
        platform::fatal("Section " + std::to_string(section) + " out of range");
    }
    return (*soundEffectCategories_)[static_cast<size_t>(section)];
}

QELSoundEffect::Ref QELSoundEffectListDataProvider::objectAtIndexPath(
    const platform::IndexPath& indexPath) const {
    const auto& effects = category(indexPath.section).soundEffects;
    if (indexPath.row < 0 || static_cast<size_t>(indexPath.row) >= effects.size()) {
        platform::fatal("Index path " + indexPath.description() + " out of range");
    }
    return effects[static_cast<size_t>(indexPath.row)];
}

int64_t QELSoundEffectListDataProvider::numberOfItemsInSection(int64_t section) const {
    return static_cast<int64_t>(category(section).soundEffects.size());
}

int64_t QELSoundEffectListDataProvider::numberOfSections() const {
    return soundEffectCategories_ ? static_cast<int64_t>(soundEffectCategories_->size()) : 0;
}

std::optional<std::string> QELSoundEffectListDataProvider::titleForSection(int64_t section) const {
    if (section < 0) platform::fatal("Negative section " + std::to_string(section));
    if (section >= numberOfSections()) return std::nullopt;
    return category(section).name;
}

std::vector<std::string> QELSoundEffectListDataProvider::resourcePaths() const {
    std::vector<std::string> paths;
    if (!soundEffectCategories_) return paths;
    for (const auto& c : *soundEffectCategories_) {
        for (const auto& effect : c.soundEffects)
            if (!unavailable_.contains(effect.get())) paths.push_back(effect->resourcePath());
    }
    return paths;
}
