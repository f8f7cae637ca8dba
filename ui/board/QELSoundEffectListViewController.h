#pragma once

#include <QCoreApplication>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/playback/QELSoundEffectListViewModel.h"
#include "foundation/NotificationCenter.h"
#include "ui/board/QELCollectionViewDataSource.h"
#include "ui/board/QELPlaySelection.h"
#include "ui/board/QELSoundEffectCollectionViewCell.h"

inline constexpr const char* kSoundEffectCellIdentifier = "SoundEffectCollectionViewCell";
inline constexpr const char* kSoundEffectHeaderIdentifier = "SoundEffectCollectionViewHeader";

// The board's data source: the catalogue's cells with a header per category.
class QELSoundEffectListCollectionViewDataSource
    : public QELCollectionViewDataSource<QELSoundEffectCollectionViewCell,
                                         QELSoundEffectListDataProvider> {
public:
    QELSoundEffectListCollectionViewDataSource(
        platform::CollectionView* collectionView,
        std::shared_ptr<QELSoundEffectListDataProvider> provider, std::weak_ptr<Delegate> delegate)
        : QELCollectionViewDataSource(collectionView, std::move(provider), std::move(delegate)) {
        // The base loaded the cells before this class, which marks the
        // unavailable ones, was complete.
        collectionView->reloadData();
    }
    // Marks an effect whose file is missing or not audio.
    platform::CollectionViewCell* cellForItemAtIndexPath(
        platform::CollectionView& collectionView, const platform::IndexPath& indexPath) override;
    platform::CollectionReusableView* viewForSupplementaryElementOfKind(
        platform::CollectionView& collectionView, const std::string& kind,
        const platform::IndexPath& indexPath) override;

    // What a long press (or the context click) on an item asks for.
    std::function<void(const platform::IndexPath&)> onLongPress;
};

// The board: the catalogue as pill buttons, three to a row under category
// headers. A tap plays; the playing button stays selected until its sound
// stops, however it stops. A long press assigns the effect a hotkey.
class QELGlobalHotkeys;

class QELSoundEffectListViewController : public platform::CollectionViewController,
                                         public platform::CollectionViewDelegate,
                                         public QELDataSourceDelegate<QELSoundEffect::Ref> {
    Q_DECLARE_TR_FUNCTIONS(QELSoundEffectListViewController)

public:
    explicit QELSoundEffectListViewController(
        std::shared_ptr<QELSoundEffectListViewModel> viewModel);
    ~QELSoundEffectListViewController() override;

    void viewDidLoad() override;
    void viewDidLayoutSubviews() override;

    std::string cellIdentifierForObject(const QELSoundEffect::Ref& object) override;
    std::optional<std::string> supplementaryIdentifierForObject(
        const QELSoundEffect::Ref& object) override;
    void didSelectItemAtIndexPath(platform::CollectionView& collectionView,
                                  const platform::IndexPath& indexPath) override;
    // A tap from outside the window (the session bus, a hotkey): the item
    // lights and is counted as if clicked. True when a sound started.
    bool tapItemAtIndexPath(const platform::IndexPath& indexPath,
                            platform::AudioError* error = nullptr);

    // The long press: the hotkey capture for the effect at `indexPath`.
    void showHotkeyCapture(const platform::IndexPath& indexPath);
    // Where assigned hotkeys are grabbed (may be null: stored only).
    void setGlobalHotkeys(QELGlobalHotkeys* hotkeys) { globalHotkeys_ = hotkeys; }
    QELGlobalHotkeys* globalHotkeys() const { return globalHotkeys_; }

    const std::shared_ptr<QELSoundEffectListViewModel>& viewModel() const { return viewModel_; }
    QELSoundEffectListCollectionViewDataSource* dataSource() const { return dataSource_.get(); }

    // The board's flow layout for a screen `width` points wide.
    static platform::CollectionViewFlowLayout layoutForWidth(double width);

private:
    std::unique_ptr<QELPlaySelection> playSelection_;
    std::shared_ptr<QELSoundEffectListViewModel> viewModel_;
    std::unique_ptr<QELSoundEffectListCollectionViewDataSource> dataSource_;
    QELGlobalHotkeys* globalHotkeys_ = nullptr;
};
