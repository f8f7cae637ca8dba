#include "ui/mine/QELMySoundEffectsViewController.h"

#include <algorithm>

#include "core/playback/QELSoundEffectListViewModel.h"
#include "foundation/Fatal.h"
#include "foundation/RunLoop.h"
#include "foundation/UserDefaults.h"
#include "ui/hotkeys/QELHotkeyCaptureDialog.h"
#include "ui/maker/QELPopover.h"
#include "ui/mine/QELImportController.h"
#include "ui/mine/QELMySoundEffectsEditOptionViewController.h"
#include "ui/mine/QELSoundEffectPickViewController.h"
#include "ui/statistics/QELStatistics.h"
#include "ui/utils/QELNavigationAlert.h"
#include "ui/utils/QELNavigationController.h"

using namespace platform;

CollectionViewFlowLayout QELMySoundEffectsViewController::layoutForWidth(double width) {
    CollectionViewFlowLayout layout;
    layout.footerReferenceSize = QSizeF(width, kFooterHeight);
    layout.sectionInset = QMarginsF(kMargin, kMargin, kMargin, 0);
    layout.minimumInteritemSpacing = kMargin;
    layout.minimumLineSpacing = kMargin;
    layout.itemSize = QSizeF(((width - 2 * kMargin) - kMargin) * 0.5, kItemHeight);
    return layout;
}

double QELMySoundEffectsViewController::contactViewBottom(double height, double contentHeight,
                                                          double offsetY) {
    // Pulled up past the end of the content, the line stays at the visible bottom.
    const double extra =
        contentHeight < height ? 0 : std::max(0.0, offsetY + height - contentHeight);
    const double base = height >= contentHeight ? height : contentHeight;
    return base + extra;
}

QELMySoundEffectsViewController::QELMySoundEffectsViewController(
    std::shared_ptr<QELMySoundEffectsViewModel> viewModel)
    : CollectionViewController(layoutForWidth(screenWidth())), viewModel_(std::move(viewModel)) {
    setTitle(tr("自定义"));
}

QELMySoundEffectsViewController::~QELMySoundEffectsViewController() {
    countObserver_.reset();
    longPressObserver_.reset();
    playSelection_.reset();
    // The model may outlive the screen; its callback must not reach it.
    if (viewModel_) viewModel_->setContentDidChanged({});
    dataSource_.reset();
}

void QELMySoundEffectsViewController::viewDidLoad() {
    CollectionViewController::viewDidLoad();
    // A playing item stays selected when the tab comes back.
    clearsSelectionOnViewWillAppear = false;
    CollectionView* cv = collectionView();
    auto self = std::static_pointer_cast<QELMySoundEffectsViewController>(shared_from_this());
    std::weak_ptr<QELMySoundEffectsViewController> weak = self;

    emptyView_ = new QELMySoundEffectEmptyView(cv);
    emptyView_->setGeometry(cv->rect());

    contactView_ = new QELMySoundEffectsContactUsView(cv->contentWidget());
    contactView_->setGeometry(0, 0, cv->width(), QELMySoundEffectsContactUsView::kHeight);
    cv->observeContentOffset(contactView_, [weak](QPointF) {
        if (auto controller = weak.lock()) controller->placeContactView();
    });
    // Every new size or content moves it, from the first layout on.
    cv->observeLayout(contactView_, [weak] {
        if (auto controller = weak.lock()) controller->placeContactView();
    });
    placeContactView();

    navigationItem().leftBarButtonItem = BarButtonItem::systemAdd([weak] {
        if (auto controller = weak.lock()) controller->onTapAddItem();
    });
    navigationItem().rightBarButtonItem = std::make_shared<BarButtonItem>(
        BarButtonItem{tr("导入"), {}, [weak] {
                          if (auto controller = weak.lock())
                              QELImportController::shared().chooseFiles(controller->view());
                      }});

    cv->registerCellClass<QELMySoundEffectCollectionViewCell>(kMySoundEffectsCellIdentifier);
    cv->setBackgroundColor(Qt::transparent);
    cv->setDelegate(this);
    // Registered before the data source exists: it reloads, footer included, at once.
    cv->registerSupplementaryClass<QELMySoundEffectsSectionFooterView>(
        kCollectionElementKindSectionFooter, kMySoundEffectsFooterIdentifier);
    if (auto [provider, error] = viewModel_->loadDataSync(); provider) {
        dataSource_ = std::make_unique<QELMySoundEffectsCollectionViewDataSource>(
            cv, provider,
            std::weak_ptr<QELDataSourceDelegate<QELCollectionSoundEffect::Ref>>(self));
    }

    auto& center = NotificationCenter::defaultCenter();
    longPressObserver_ = center.addObserver(
        QELMySoundEffectCollectionViewCell::LongPressNotificationName, nullptr, RunLoop::main(),
        [weak](const Notification& note) {
            auto controller = weak.lock();
            if (!controller) return;
            const Value* item =
                note.userInfo.find(QELMySoundEffectCollectionViewCell::kLongPressItemUserInfoKey);
            auto entry = item ? item->asObject<QELCollectionSoundEffect>() : nullptr;
            if (!entry || note.object != entry.get())
                fatal("a long press without the entry of its cell");
            controller->showEditOptions(entry);
        });

    updateEmptyView();
    // Only this screen's storage: another's changes are not this grid's.
    countObserver_ =
        center.addObserver(QELMySoundEffectStorage::MySoundEffectAmountDidChangeNotification,
                           &viewModel_->storage(), RunLoop::main(), [weak](const Notification&) {
                               auto controller = weak.lock();
                               if (!controller) return;
                               controller->updateEmptyView();
                               controller->collectionView()->reloadData();
                               controller->placeContactView();
                           });
    playSelection_ = std::make_unique<QELPlaySelection>(viewModel_, cv, kEventPlayFavorite);
    viewModel_->setContentDidChanged([weak](QELMySoundEffectsViewModel&, const IndexPath& indexPath,
                                            QELMySoundEffectsChangeType type) {
        auto controller = weak.lock();
        if (!controller) return;
        CollectionView* grid = controller->collectionView();
        grid->performBatchUpdates([&] {
            switch (type) {
                case QELMySoundEffectsChangeType::Add:
                    grid->insertItemsAtIndexPaths({indexPath});
                    break;
                case QELMySoundEffectsChangeType::Replace:
                    grid->reloadItemsAtIndexPaths({indexPath});
                    break;
                case QELMySoundEffectsChangeType::Delete:
                    grid->deleteItemsAtIndexPaths({indexPath});
                    break;
            }
        });
        controller->followPlayingEntry();
    });
}

void QELMySoundEffectsViewController::viewDidLayoutSubviews() {
    CollectionView* cv = collectionView();
    // Two items to a row at any width.
    const CollectionViewFlowLayout layout = layoutForWidth(cv->width());
    if (layout.itemSize != cv->collectionViewLayout().itemSize) {
        cv->collectionViewLayout() = layout;
        cv->invalidateLayout();
    }
    if (emptyView_) emptyView_->setGeometry(cv->rect());
    placeContactView();
}

void QELMySoundEffectsViewController::followPlayingEntry() {
    // The model finds the playing item by its index path: after a change it
    // must name where that entry is now, or taps and its end reach another.
    auto playing =
        std::dynamic_pointer_cast<const QELCollectionSoundEffect>(viewModel_->playingEffect());
    if (!playing || !viewModel_->playingIndexPath()) return;
    if (auto now = viewModel_->dataProvider()->indexPathOfObject(playing)) {
        viewModel_->setPlayingIndexPath(now);
        return;
    }
    // Its entry has left the collection; its sound goes with it.
    viewModel_->stop();
}

void QELMySoundEffectsViewController::updateEmptyView() {
    if (emptyView_) emptyView_->setHidden(!viewModel_->storage().soundEffects().empty());
}

void QELMySoundEffectsViewController::placeContactView() {
    if (!contactView_) return;
    CollectionView* cv = collectionView();
    // The scroll area's own height, current even inside its resize.
    const double bottom = contactViewBottom(cv->contentsRect().height(), cv->contentSize().height(),
                                            cv->contentOffset().y());
    contactView_->setGeometry(0, static_cast<int>(bottom) - QELMySoundEffectsContactUsView::kHeight,
                              cv->contentsRect().width(), QELMySoundEffectsContactUsView::kHeight);
    contactView_->raise();
}

std::string QELMySoundEffectsViewController::cellIdentifierForObject(
    const QELCollectionSoundEffect::Ref&) {
    return kMySoundEffectsCellIdentifier;
}

std::optional<std::string> QELMySoundEffectsViewController::supplementaryIdentifierForObject(
    const QELCollectionSoundEffect::Ref&) {
    return std::nullopt;
}

void QELMySoundEffectsViewController::didSelectItemAtIndexPath(CollectionView&,
                                                               const IndexPath& indexPath) {
    playSelection_->didTapItemAtIndexPath(indexPath);
}

void QELMySoundEffectsViewController::presentPicker(
    std::shared_ptr<QELSoundEffectPickViewController> picker) {
    presentViewController(createNavigationController(std::move(picker)), true);
}

void QELMySoundEffectsViewController::onTapAddItem() {
    auto picker = std::make_shared<QELSoundEffectPickViewController>(
        std::make_shared<QELSoundEffectListViewModel>());
    std::weak_ptr<QELMySoundEffectsViewController> weak =
        std::static_pointer_cast<QELMySoundEffectsViewController>(shared_from_this());
    picker->setOnSelectSoundEffect([weak](const QELSoundEffect::Ref& soundEffect) {
        if (auto controller = weak.lock()) controller->viewModel_->addSoundEffect(soundEffect);
    });
    picker->setOnDismiss([](QELSoundEffectPickViewController&) {
        UserDefaults::executeOnceWithKey(kEditAlertKey, [] {
            QELNavigationAlertManager::showAlert(QELNavigationAlert(tr("长按可再次编辑")));
            return true;
        });
    });
    presentPicker(std::move(picker));
}

void QELMySoundEffectsViewController::showEditOptions(const QELCollectionSoundEffect::Ref& entry) {
    auto options = std::make_shared<QELMySoundEffectsEditOptionViewController>();
    std::weak_ptr<QELMySoundEffectsViewController> weak =
        std::static_pointer_cast<QELMySoundEffectsViewController>(shared_from_this());
    options->setOnReplace([weak, entry](QELMySoundEffectsEditOptionViewController&) {
        auto controller = weak.lock();
        if (!controller) return;
        auto picker = std::make_shared<QELSoundEffectPickViewController>(
            std::make_shared<QELSoundEffectListViewModel>());
        picker->setOnSelectSoundEffect([weak, entry](const QELSoundEffect::Ref& soundEffect) {
            if (auto c = weak.lock()) c->viewModel_->replaceSoundEffect(entry, soundEffect);
        });
        controller->presentPicker(std::move(picker));
    });
    options->setOnDelete([weak, entry](QELMySoundEffectsEditOptionViewController&) {
        if (auto controller = weak.lock()) controller->viewModel_->removeSoundEffect(entry);
    });
    options->setOnHotkey([weak, entry](QELMySoundEffectsEditOptionViewController&) {
        if (auto controller = weak.lock())
            showHotkeyCapture(controller->globalHotkeys_,
                              {{}, QELHotkey::Action::PlayFavorite, "", entry->name()},
                              controller->view());
    });
    editOptions_ = options;
    showPopover(*options);
}

bool QELMySoundEffectsViewController::tapItemAtIndexPath(const IndexPath& indexPath, AudioError* error) {
    view();  // the screen may not have been shown yet
    return playSelection_->tapItemAtIndexPath(indexPath, error);
}
