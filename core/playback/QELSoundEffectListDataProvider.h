#pragma once

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/catalogue/QELSoundEffectCategory.h"
#include "core/playback/QELDataProvider.h"

// The built-in catalogue as a sectioned list: one section per category in
// index order, one row per sound effect. Immutable once built.
class QELSoundEffectListDataProvider : public QELDataProvider<QELSoundEffect::Ref> {
public:
    // Loads the whole catalogue of the shared bundle; catalogue faults stop.
    QELSoundEffectListDataProvider();
    // Loads the categories of these property-list files (another bundle).
    explicit QELSoundEffectListDataProvider(const std::vector<std::string>& plistPaths);

    const std::optional<std::vector<QELSoundEffectCategory>>& soundEffectCategories() const {
        return soundEffectCategories_;
    }

    QELSoundEffect::Ref objectAtIndexPath(const platform::IndexPath& indexPath) const override;
    int64_t numberOfItemsInSection(int64_t section) const override;
    int64_t numberOfSections() const override;

    // The category name of `section`; nullopt past the last one.
    std::optional<std::string> titleForSection(int64_t section) const;

    // Every playable sound effect's file, in board order.
    std::vector<std::string> resourcePaths() const;

    // False for an effect whose file was missing or not audio when the
    // catalogue was loaded: it is shown disabled, the rest of the board plays.
    bool isAvailableAtIndexPath(const platform::IndexPath& indexPath) const;

private:
    const QELSoundEffectCategory& category(int64_t section) const;
    void findUnavailable();

    std::optional<std::vector<QELSoundEffectCategory>> soundEffectCategories_;
    std::unordered_set<const QELSoundEffect*> unavailable_;
};
