#include "core/playback/QELSoundEffectPlayController.h"

#include "core/playback/QELLoudnessCache.h"
#include "core/playback/QELSoundEffectPlayer.h"
#include "core/settings/QELAudioSettings.h"
#include "foundation/DebugLog.h"
#include "foundation/Fatal.h"
#include "foundation/NotificationCenter.h"

QELSoundEffectPlayController::QELSoundEffectPlayController()
    : self_(this, [](QELSoundEffectPlayController*) {}) {}

QELSoundEffectPlayController::~QELSoundEffectPlayController() {
    // Expire weak references first: the player released below may still be
    // the shared service's current player.
    self_.reset();
}

void QELSoundEffectPlayController::setPlayingEffect(QELSoundEffect::Ref effect) {
    const bool changed = effect != playingEffect_;
    playingEffect_ = std::move(effect);
    if (!playingEffect_) {
        auto indexPath = playingIndexPath();
        if (playStopped() && indexPath) {
            // Copied: the callback may replace itself.
            PlayStopped callback = playStopped();
            callback(*this, *indexPath);
            setPlayingIndexPath(std::nullopt);
        }
    }
    if (changed)
        platform::NotificationCenter::defaultCenter().post(PlayingEffectDidChangeNotification,
                                                           this);
}

QELSoundEffect::Ref QELSoundEffectPlayController::objectAtIndexPath(const platform::IndexPath&) {
    platform::fatal("Override this method");
}

bool QELSoundEffectPlayController::playOrStopAtIndexPath(const platform::IndexPath& indexPath,
                                                         platform::AudioError* error) {
    QELSoundEffect::Ref effect = objectAtIndexPath(indexPath);
    QELSoundEffect::Ref playing = playingEffect();
    std::optional<platform::IndexPath> playingAt = playingIndexPath();
    if (playing && playingAt) {
        if (*playing != *effect && indexPath != *playingAt) {
            stop();
            return play(effect, indexPath, error);
        }
        stop();
        return false;
    }
    return play(effect, indexPath, error);
}

bool QELSoundEffectPlayController::play(const QELSoundEffect::Ref& soundEffect,
                                        const platform::IndexPath& indexPath,
                                        platform::AudioError* error) {
    if (auto current = player(); current && current->isPlaying()) return true;

    std::weak_ptr<QELSoundEffectPlayController> weak = weakSelf();
    platform::AudioError failure;
    auto created = QELSoundEffectPlayer::playerWithContentsOfURL(
        soundEffect->resourcePath(),
        [weak](platform::AudioPlayer&) {
            if (auto self = weak.lock()) self->setPlayingEffect(nullptr);
        },
        &failure);
    if (!created) {
        // Say so rather than claim a start: an older player restarted here
        // would play another sound under this item's highlight.
        QEL_DEBUG_ERROR(failure.message);
        if (error) *error = failure;
        return false;
    }
    setPlayer(std::move(created));

    auto current = player();
    current->setVolume(1.0f);
    current->setGain(static_cast<float>(gainFor(*soundEffect)));
    current->setDelegate(std::shared_ptr<platform::AudioPlayerDelegate>(self_, this));
    current->prepareToPlay();
    if (!current->play()) {
        platform::setAudioError(error, platform::AudioError::Code::DeviceUnavailable,
                                "the audio output did not start " + soundEffect->resourcePath());
        return false;
    }
    setPlayingEffect(soundEffect);
    setPlayingIndexPath(indexPath);
    return true;
}

double QELSoundEffectPlayController::gainFor(const QELSoundEffect& soundEffect) {
    // The catalogue ships at an even loudness; the user's recordings are
    // stored as they were made (older ones) and brought there as they play.
    if (!soundEffect.isUserCustom()) return 1.0;
    const QELAudioSettings settings;
    if (!settings.normaliseLoudness()) return 1.0;
    return QELLoudnessCache::shared().gainFor(soundEffect.resourcePath(), settings.loudnessTarget());
}

void QELSoundEffectPlayController::stop() {
    auto current = player();
    if (!current || !current->isPlaying()) return;
    current->stop();
    setPlayingEffect(nullptr);
}

void QELSoundEffectPlayController::audioPlayerDidFinishPlaying(platform::AudioPlayer&, bool) {
    setPlayingEffect(nullptr);
    setPlayingIndexPath(std::nullopt);
}
