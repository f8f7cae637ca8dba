#include "ui/mine/QELSoundEffectPickViewController.h"

#include <utility>

#include "ui/platform/Palette.h"
#include "ui/statistics/QELStatistics.h"

using namespace platform;

QELSoundEffectPickViewController::QELSoundEffectPickViewController(
    std::shared_ptr<QELSoundEffectListViewModel> viewModel)
    : QELSoundEffectListViewController(std::move(viewModel)) {
    setTitle(tr("添加"));
}

void QELSoundEffectPickViewController::viewDidLoad() {
    QELSoundEffectListViewController::viewDidLoad();
    collectionView()->setBackgroundColor(Color::c6());
    std::weak_ptr<ViewController> weak = weakSelf();
    navigationItem().leftBarButtonItem = std::make_shared<BarButtonItem>(BarButtonItem{
        {}, QStringLiteral("general_btn_close_normal"), [weak] {
            if (auto self = weak.lock())
                static_cast<QELSoundEffectPickViewController&>(*self).onTapCloseItem();
        }});
}

void QELSoundEffectPickViewController::onTapCloseItem() {
    dismissViewController(true);
}

void QELSoundEffectPickViewController::didSelectItemAtIndexPath(CollectionView&,
                                                                const IndexPath& indexPath) {
    if (std::exchange(chosen_, true)) return;
    const QELSoundEffect::Ref soundEffect =
        viewModel()->dataProvider()->objectAtIndexPath(indexPath);
    if (auto callback = onSelectSoundEffect_) callback(soundEffect);
    QELStatisticsSink::shared().event(kEventAddFavorite);
    // Held until the end: the dismissal releases the navigation controller
    // that owns this picker before its completion runs.
    auto self = std::static_pointer_cast<QELSoundEffectPickViewController>(shared_from_this());
    dismissViewController(true, [self] {
        if (auto callback = self->onDismiss_) callback(*self);
    });
}
