#pragma once

#include <QCoreApplication>
#include <memory>
#include <optional>
#include <string>

#include "core/collection/QELMySoundEffectsViewModel.h"
#include "foundation/NotificationCenter.h"
#include "ui/board/QELPlaySelection.h"
#include "ui/mine/QELMySoundEffectEmptyView.h"
#include "ui/mine/QELMySoundEffectsCollectionViewDataSource.h"
#include "ui/mine/QELMySoundEffectsContactUsView.h"
#include "ui/platform/CollectionView.h"

class QELGlobalHotkeys;
class QELMySoundEffectsEditOptionViewController;
class QELSoundEffectPickViewController;

// The user's collection, two to a row. A tap plays, a long press offers to
// replace, delete or give a hotkey, the add button opens the picker of built-in effects.
// Every change of the collection is animated on its item, then the whole
// grid is reloaded.
class QELMySoundEffectsViewController
    : public platform::CollectionViewController,
      public platform::CollectionViewDelegate,
      public QELDataSourceDelegate<QELCollectionSoundEffect::Ref> {
    Q_DECLARE_TR_FUNCTIONS(QELMySoundEffectsViewController)

public:
    static constexpr double kMargin = 15;
    static constexpr double kItemHeight = 100;
    static constexpr double kFooterHeight = 44;
    // Where the one-time "long press to edit again" hint is remembered.
    static constexpr const char* kEditAlertKey = "com.zentrik.quellio.mysoundeffects.editalert";

    explicit QELMySoundEffectsViewController(std::shared_ptr<QELMySoundEffectsViewModel> viewModel);
    ~QELMySoundEffectsViewController() override;

    void viewDidLoad() override;
    void viewDidLayoutSubviews() override;

    std::string cellIdentifierForObject(const QELCollectionSoundEffect::Ref& object) override;
    std::optional<std::string> supplementaryIdentifierForObject(
        const QELCollectionSoundEffect::Ref& object) override;
    void didSelectItemAtIndexPath(platform::CollectionView& collectionView,
                                  const platform::IndexPath& indexPath) override;
    // A tap from outside the window (the session bus, a hotkey): the item
    // lights and is counted as if clicked. True when a sound started.
    bool tapItemAtIndexPath(const platform::IndexPath& indexPath,
                            platform::AudioError* error = nullptr);

    // The add button: the picker, in add mode.
    void onTapAddItem();
    // The long press: the edit options for `entry`.
    void showEditOptions(const QELCollectionSoundEffect::Ref& entry);

    // Where assigned hotkeys are grabbed (may be null: stored only).
    void setGlobalHotkeys(QELGlobalHotkeys* hotkeys) { globalHotkeys_ = hotkeys; }

    const std::shared_ptr<QELMySoundEffectsViewModel>& viewModel() const { return viewModel_; }
    QELMySoundEffectsCollectionViewDataSource* dataSource() const { return dataSource_.get(); }
    QELMySoundEffectEmptyView* emptyView() const { return emptyView_; }
    QELMySoundEffectsContactUsView* contactView() const { return contactView_; }
    // The card of the latest long press, while it is kept.
    QELMySoundEffectsEditOptionViewController* editOptions() const { return editOptions_.get(); }

    // The collection's flow layout for a screen `width` points wide.
    static platform::CollectionViewFlowLayout layoutForWidth(double width);
    // The contact line's bottom edge, in content coordinates, for a grid
    // `height` high with content `contentHeight` high scrolled to `offsetY`.
    static double contactViewBottom(double height, double contentHeight, double offsetY);

private:
    void placeContactView();
    void updateEmptyView();
    void followPlayingEntry();
    void presentPicker(std::shared_ptr<QELSoundEffectPickViewController> picker);

    std::shared_ptr<QELMySoundEffectsViewModel> viewModel_;
    QPointer<QELMySoundEffectsContactUsView> contactView_;
    std::unique_ptr<QELMySoundEffectsCollectionViewDataSource> dataSource_;
    QPointer<QELMySoundEffectEmptyView> emptyView_;
    platform::NotificationToken countObserver_;
    platform::NotificationToken longPressObserver_;
    std::unique_ptr<QELPlaySelection> playSelection_;
    std::shared_ptr<QELMySoundEffectsEditOptionViewController> editOptions_;
    QELGlobalHotkeys* globalHotkeys_ = nullptr;
};
