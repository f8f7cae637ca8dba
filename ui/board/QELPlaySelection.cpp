#include "ui/board/QELPlaySelection.h"

#include "core/playback/QELSoundEffectPlayer.h"
#include "foundation/DebugLog.h"
#include "foundation/RunLoop.h"
#include "ui/statistics/QELStatistics.h"
#include "ui/utils/QELNavigationAlert.h"

using namespace platform;

QELPlaySelection::QELPlaySelection(std::shared_ptr<QELSoundEffectPlayController> controller,
                                   CollectionView* view, const char* playEventID)
    : controller_(std::move(controller)), view_(view), playEventID_(playEventID) {
    QPointer<CollectionView> grid = view;
    controller_->setPlayStopped([grid](QELSoundEffectPlayController&, const IndexPath& indexPath) {
        if (grid) grid->deselectItemAtIndexPath(indexPath, true);
    });
    // Another screen's sound stops this one's without a callback.
    std::weak_ptr<QELSoundEffectPlayController> weak = controller_;
    stopObserver_ = NotificationCenter::defaultCenter().addObserver(
        QELSoundEffectPlayer::SoundEffectPlayerDidStoppedNotification, nullptr, RunLoop::main(),
        [weak, grid](const Notification&) {
            auto controller = weak.lock();
            if (!controller || !grid) return;
            if (auto playing = controller->playingIndexPath())
                grid->deselectItemAtIndexPath(*playing, false);
        });
}

QELPlaySelection::~QELPlaySelection() {
    stopObserver_.reset();
    // The model may outlive the screen; its callback must not reach it.
    controller_->setPlayStopped({});
}

bool QELPlaySelection::didTapItemAtIndexPath(const IndexPath& indexPath, AudioError* failure) {
    AudioError error;
    const bool started = controller_->playOrStopAtIndexPath(indexPath, &error);
    if (!error.message.empty()) {
#ifndef NDEBUG
        QEL_DEBUG_ERROR("play failed at " + indexPath.description() + ": " + error.message);
#endif
        // Nothing plays, so nothing may look as if it did.
        if (view_) view_->deselectItemAtIndexPath(indexPath, false);
        if (error.code == AudioError::Code::FileUnreadable)
            QELNavigationAlertManager::showAlert(QELNavigationAlert(tr("音效文件不见了")));
        if (failure) *failure = error;
        return false;
    }
    if (started) QELStatisticsSink::shared().event(playEventID_);
    return started;
}

bool QELPlaySelection::tapItemAtIndexPath(const IndexPath& indexPath, AudioError* error) {
    if (view_) view_->selectItemAtIndexPath(indexPath, false);
    return didTapItemAtIndexPath(indexPath, error);
}
