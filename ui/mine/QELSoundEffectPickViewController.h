#pragma once

#include <QCoreApplication>
#include <functional>
#include <memory>

#include "ui/board/QELSoundEffectListViewController.h"

// The board turned into a chooser: a tap hands the built-in sound effect to
// the caller and closes the picker instead of playing it.
class QELSoundEffectPickViewController : public QELSoundEffectListViewController {
    Q_DECLARE_TR_FUNCTIONS(QELSoundEffectPickViewController)

public:
    using OnSelect = std::function<void(const QELSoundEffect::Ref&)>;
    using OnDismiss = std::function<void(QELSoundEffectPickViewController&)>;

    explicit QELSoundEffectPickViewController(
        std::shared_ptr<QELSoundEffectListViewModel> viewModel);

    void viewDidLoad() override;
    void didSelectItemAtIndexPath(platform::CollectionView& collectionView,
                                  const platform::IndexPath& indexPath) override;
    // Closes without a choice: neither callback runs.
    void onTapCloseItem();

    const OnSelect& onSelectSoundEffect() const { return onSelectSoundEffect_; }
    void setOnSelectSoundEffect(OnSelect callback) { onSelectSoundEffect_ = std::move(callback); }
    // Called once the picker has closed after a choice.
    const OnDismiss& onDismiss() const { return onDismiss_; }
    void setOnDismiss(OnDismiss callback) { onDismiss_ = std::move(callback); }

private:
    OnSelect onSelectSoundEffect_;
    OnDismiss onDismiss_;
    bool chosen_ = false;  // taps while the picker slides away choose nothing more
};
