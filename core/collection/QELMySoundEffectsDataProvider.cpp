#include "core/collection/QELMySoundEffectsDataProvider.h"

#include <algorithm>

#include "foundation/Fatal.h"

QELMySoundEffectsDataProvider::QELMySoundEffectsDataProvider()
    : QELMySoundEffectsDataProvider(QELMySoundEffectStorage::sharedStorage()) {}

int64_t QELMySoundEffectsDataProvider::numberOfItemsInSection(int64_t) const {
    return static_cast<int64_t>(storage_.soundEffects().size());
}

QELCollectionSoundEffect::Ref QELMySoundEffectsDataProvider::objectAtIndexPath(
    const platform::IndexPath& indexPath) const {
    const auto& list = storage_.soundEffects();
    if (indexPath.row < 0 || static_cast<uint64_t>(indexPath.row) >= list.size()) {
        platform::fatal("no row " + std::to_string(indexPath.row) + " in a collection of " +
                        std::to_string(list.size()));
    }
    return list[static_cast<size_t>(indexPath.row)];
}

std::optional<platform::IndexPath> QELMySoundEffectsDataProvider::indexPathOfObject(
    const QELCollectionSoundEffect::Ref& entry) const {
    const auto& list = storage_.soundEffects();
    auto it = std::find(list.begin(), list.end(), entry);
    if (it == list.end()) return std::nullopt;
    return platform::IndexPath{0, it - list.begin()};
}
