#pragma once

#include <string>

#include "core/collection/QELMySoundEffectsDataProvider.h"
#include "ui/board/QELCollectionViewDataSource.h"
#include "ui/mine/QELMySoundEffectCollectionViewCell.h"

inline constexpr const char* kMySoundEffectsCellIdentifier = "MySoundEffectsCollectionViewCell";
inline constexpr const char* kMySoundEffectsFooterIdentifier = "MySoundEffectsCollectionViewFooter";

// The room under the last row where the contact line sits.
class QELMySoundEffectsSectionFooterView : public platform::CollectionReusableView,
                                           public QELCell<std::string> {
public:
    void configWithItem(const std::string&) override {}
};

// The collection's grid: its entries, and a footer under the one section.
class QELMySoundEffectsCollectionViewDataSource
    : public QELCollectionViewDataSource<QELMySoundEffectCollectionViewCell,
                                         QELMySoundEffectsDataProvider> {
public:
    using QELCollectionViewDataSource::QELCollectionViewDataSource;
    platform::CollectionReusableView* viewForSupplementaryElementOfKind(
        platform::CollectionView& collectionView, const std::string& kind,
        const platform::IndexPath& indexPath) override;
};
