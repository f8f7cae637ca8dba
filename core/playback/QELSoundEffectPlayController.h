#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "audio/AudioPlayer.h"
#include "core/catalogue/QELSoundEffect.h"
#include "foundation/IndexPath.h"

// The base of the list view models: looks up the sound effect at an index
// path, starts or stops it through QELSoundEffectPlayer, and reports when the
// sound shown at an index path has stopped so that the screen can redraw
// that item. Main thread only; every member may be overridden.
//
// Invariant kept by setPlayingEffect: assigning an empty effect while a
// playStopped callback and a playingIndexPath are set calls
// playStopped(*this, playingIndexPath) and then clears playingIndexPath.
class QELSoundEffectPlayController : public platform::AudioPlayerDelegate {
public:
    using PlayStopped =
        std::function<void(QELSoundEffectPlayController&, const platform::IndexPath&)>;

    // Posted, with the controller as object, after playingEffect changed.
    static constexpr const char* PlayingEffectDidChangeNotification =
        "com.zentrik.quellio.playingeffectdidchange";

    QELSoundEffectPlayController();
    ~QELSoundEffectPlayController() override;
    QELSoundEffectPlayController(const QELSoundEffectPlayController&) = delete;
    QELSoundEffectPlayController& operator=(const QELSoundEffectPlayController&) = delete;

    // The player of the sound effect started last by this controller.
    virtual std::shared_ptr<platform::AudioPlayer> player() const { return player_; }
    virtual void setPlayer(std::shared_ptr<platform::AudioPlayer> player) {
        player_ = std::move(player);
    }

    // Where the sound that plays (or played last) is shown.
    virtual std::optional<platform::IndexPath> playingIndexPath() const {
        return playingIndexPath_;
    }
    virtual void setPlayingIndexPath(std::optional<platform::IndexPath> indexPath) {
        playingIndexPath_ = indexPath;
    }

    virtual const PlayStopped& playStopped() const { return playStopped_; }
    virtual void setPlayStopped(PlayStopped playStopped) { playStopped_ = std::move(playStopped); }

    // The sound effect that plays; empty when nothing of this controller plays.
    virtual QELSoundEffect::Ref playingEffect() const { return playingEffect_; }
    virtual void setPlayingEffect(QELSoundEffect::Ref effect);

    // The sound effect at `indexPath`. Subclasses override it; the base stops
    // the program with "Override this method".
    virtual QELSoundEffect::Ref objectAtIndexPath(const platform::IndexPath& indexPath);

    // What a tap on an item does: stops the item if it is the one playing,
    // switches to it if another plays, starts it otherwise. True when it
    // started a sound, false when it stopped one or failed (with `error`).
    virtual bool playOrStopAtIndexPath(const platform::IndexPath& indexPath,
                                       platform::AudioError* error = nullptr);

    // Starts `soundEffect`, shown at `indexPath`, unless this controller's
    // player still plays. A file that cannot be played is logged and gives
    // false with `error`; nothing plays then.
    virtual bool play(const QELSoundEffect::Ref& soundEffect, const platform::IndexPath& indexPath,
                      platform::AudioError* error = nullptr);

    // Stops this controller's sound if it plays.
    virtual void stop();
    // The gain `soundEffect` plays at: the one that brings a user's
    // recording to the chosen loudness (1 until it is measured, in the
    // background; never blocks a tap), else 1.
    virtual double gainFor(const QELSoundEffect& soundEffect);

    // The sound ran to its end.
    void audioPlayerDidFinishPlaying(platform::AudioPlayer& player, bool successfully) override;

protected:
    // A reference that expires with this controller, for callbacks that must
    // not keep it alive or call it after its destruction.
    std::weak_ptr<QELSoundEffectPlayController> weakSelf() const { return self_; }

private:
    std::shared_ptr<QELSoundEffectPlayController> self_;  // owns nothing: only marks liveness
    std::shared_ptr<platform::AudioPlayer> player_;
    std::optional<platform::IndexPath> playingIndexPath_;
    PlayStopped playStopped_;
    QELSoundEffect::Ref playingEffect_;
};
