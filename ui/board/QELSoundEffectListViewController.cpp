#include "ui/board/QELSoundEffectListViewController.h"

#include "foundation/Fatal.h"
#include "ui/hotkeys/QELHotkeyCaptureDialog.h"
#include "ui/statistics/QELStatistics.h"

using namespace platform;

CollectionViewCell* QELSoundEffectListCollectionViewDataSource::cellForItemAtIndexPath(
    CollectionView& collectionView, const IndexPath& indexPath) {
    CollectionViewCell* cell =
        QELCollectionViewDataSource::cellForItemAtIndexPath(collectionView, indexPath);
    static_cast<QELSoundEffectCollectionViewCell*>(cell)->setAvailable(
        dataProvider()->isAvailableAtIndexPath(indexPath));
    // Made again with each use of the cell: it names the item shown now.
    cell->addLongPressGestureRecognizer([this, indexPath](LongPressGestureRecognizer& recognizer) {
        if (recognizer.state() == LongPressGestureRecognizer::State::Began && onLongPress)
            onLongPress(indexPath);
    });
    return cell;
}

CollectionReusableView*
QELSoundEffectListCollectionViewDataSource::viewForSupplementaryElementOfKind(
    CollectionView& collectionView, const std::string& kind, const IndexPath& indexPath) {
    const auto title = dataProvider()->titleForSection(indexPath.section);
    auto* header = dynamic_cast<QELSoundEffectCollecionHeaderView*>(
        collectionView.dequeueReusableSupplementaryView(kind, kSoundEffectHeaderIdentifier,
                                                        indexPath));
    if (!header) fatal("Error supplementry type");
    header->configWithItem(title.value_or(std::string()));
    return header;
}

CollectionViewFlowLayout QELSoundEffectListViewController::layoutForWidth(double width) {
    CollectionViewFlowLayout layout;
    layout.headerReferenceSize = QSizeF(width, 2 * 15 + 14);
    layout.sectionInset = QMarginsF(15, 0, 15, 15);
    layout.minimumInteritemSpacing = 15;
    layout.minimumLineSpacing = 15;
    layout.itemSize = QSizeF((width - 30 - 30) / 3, 36);
    return layout;
}

QELSoundEffectListViewController::QELSoundEffectListViewController(
    std::shared_ptr<QELSoundEffectListViewModel> viewModel)
    : CollectionViewController(layoutForWidth(screenWidth())), viewModel_(std::move(viewModel)) {
    setTitle(tr("声匣"));
}

QELSoundEffectListViewController::~QELSoundEffectListViewController() {
    playSelection_.reset();
    dataSource_.reset();
}

void QELSoundEffectListViewController::viewDidLoad() {
    CollectionViewController::viewDidLoad();
    clearsSelectionOnViewWillAppear = false;
    CollectionView* cv = collectionView();
    cv->registerCellClass<QELSoundEffectCollectionViewCell>(kSoundEffectCellIdentifier);
    cv->registerSupplementaryClass<QELSoundEffectCollecionHeaderView>(
        kCollectionElementKindSectionHeader, kSoundEffectHeaderIdentifier);
    cv->setBackgroundColor(Qt::transparent);
    cv->setDelegate(this);

    auto [provider, error] = viewModel_->loadDataSync();
    if (!provider) fatal("the board's data provider is missing");
    auto self = std::static_pointer_cast<QELSoundEffectListViewController>(shared_from_this());
    dataSource_ = std::make_unique<QELSoundEffectListCollectionViewDataSource>(
        cv, provider, std::weak_ptr<QELDataSourceDelegate<QELSoundEffect::Ref>>(self));
    std::weak_ptr<QELSoundEffectListViewController> weak = self;
    dataSource_->onLongPress = [weak](const IndexPath& indexPath) {
        if (auto controller = weak.lock()) controller->showHotkeyCapture(indexPath);
    };

    playSelection_ = std::make_unique<QELPlaySelection>(viewModel_, cv, kEventPlaySound);
}

void QELSoundEffectListViewController::viewDidLayoutSubviews() {
    // Three buttons to a row at any width.
    CollectionView* cv = collectionView();
    const CollectionViewFlowLayout layout = layoutForWidth(cv->width());
    if (layout.itemSize == cv->collectionViewLayout().itemSize) return;
    cv->collectionViewLayout() = layout;
    cv->invalidateLayout();
}

std::string QELSoundEffectListViewController::cellIdentifierForObject(const QELSoundEffect::Ref&) {
    return kSoundEffectCellIdentifier;
}

std::optional<std::string> QELSoundEffectListViewController::supplementaryIdentifierForObject(
    const QELSoundEffect::Ref&) {
    return std::nullopt;
}

void QELSoundEffectListViewController::didSelectItemAtIndexPath(CollectionView&,
                                                                const IndexPath& indexPath) {
    playSelection_->didTapItemAtIndexPath(indexPath);
}

bool QELSoundEffectListViewController::tapItemAtIndexPath(const IndexPath& indexPath,
                                                          AudioError* error) {
    view();  // the screen may not have been shown yet
    return playSelection_->tapItemAtIndexPath(indexPath, error);
}

void QELSoundEffectListViewController::showHotkeyCapture(const IndexPath& indexPath) {
    const auto effect = viewModel_->dataProvider()->objectAtIndexPath(indexPath);
    if (!effect) return;
    ::showHotkeyCapture(globalHotkeys_,
                        {{}, QELHotkey::Action::Play, effect->category(), effect->name()}, view());
}
