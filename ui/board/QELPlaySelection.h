#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <memory>

#include "core/playback/QELSoundEffectPlayController.h"
#include "foundation/NotificationCenter.h"
#include "ui/platform/CollectionView.h"

// Keeps a grid's selection on the item that plays, for every screen that
// plays by tap: a tap plays or stops through the play controller and logs
// `playEventID` when a sound starts; the item is deselected when its sound
// stops, whoever stopped it. Lives no longer than its screen.
class QELPlaySelection {
    Q_DECLARE_TR_FUNCTIONS(QELPlaySelection)

public:
    QELPlaySelection(std::shared_ptr<QELSoundEffectPlayController> controller,
                     platform::CollectionView* view, const char* playEventID);
    ~QELPlaySelection();
    QELPlaySelection(const QELPlaySelection&) = delete;
    QELPlaySelection& operator=(const QELPlaySelection&) = delete;

    // True when a sound started; a failure deselects the item and fills
    // `error`.
    bool didTapItemAtIndexPath(const platform::IndexPath& indexPath,
                               platform::AudioError* error = nullptr);
    // The same for a tap from outside the window: the item lights first, as
    // a click on it would.
    bool tapItemAtIndexPath(const platform::IndexPath& indexPath,
                            platform::AudioError* error = nullptr);

private:
    std::shared_ptr<QELSoundEffectPlayController> controller_;
    QPointer<platform::CollectionView> view_;
    const char* playEventID_;
    platform::NotificationToken stopObserver_;
};
