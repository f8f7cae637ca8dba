#include "ui/mine/QELMySoundEffectsCollectionViewDataSource.h"

#include "foundation/Fatal.h"

using namespace platform;

CollectionReusableView*
QELMySoundEffectsCollectionViewDataSource::viewForSupplementaryElementOfKind(
    CollectionView& collectionView, const std::string& kind, const IndexPath& indexPath) {
    auto* footer = dynamic_cast<QELMySoundEffectsSectionFooterView*>(
        collectionView.dequeueReusableSupplementaryView(kind, kMySoundEffectsFooterIdentifier,
                                                        indexPath));
    if (!footer) fatal("Error supplementry type");
    footer->configWithItem(dataProvider()->titleForSection(indexPath.section));
    return footer;
}
