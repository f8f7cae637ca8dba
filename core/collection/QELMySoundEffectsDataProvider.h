#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/collection/QELMySoundEffectStorage.h"
#include "core/playback/QELDataProvider.h"

// The user's collection as a list of one section. Keeps no copy: every
// answer reads the storage's list at the moment of the call.
class QELMySoundEffectsDataProvider : public QELDataProvider<QELCollectionSoundEffect::Ref> {
public:
    // Over the shared storage.
    QELMySoundEffectsDataProvider();
    explicit QELMySoundEffectsDataProvider(const QELMySoundEffectStorage& storage)
        : storage_(storage) {}

    int64_t numberOfSections() const override { return 1; }
    // The section is not looked at: there is only one.
    int64_t numberOfItemsInSection(int64_t section) const override;
    // A row outside the list is a programming error and stops.
    QELCollectionSoundEffect::Ref objectAtIndexPath(
        const platform::IndexPath& indexPath) const override;

    // Where that very entry is (identity); nullopt when it is not listed.
    std::optional<platform::IndexPath> indexPathOfObject(
        const QELCollectionSoundEffect::Ref& entry) const;

    std::string titleForSection(int64_t) const { return ""; }

private:
    const QELMySoundEffectStorage& storage_;
};
