#include "core/playback/QELSoundEffectPlayer.h"

#include "foundation/NotificationCenter.h"

QELSoundEffectPlayer& QELSoundEffectPlayer::sharedInstance() {
    static QELSoundEffectPlayer instance;
    return instance;
}

void QELSoundEffectPlayer::stopCurrentPlaying() {
    QELSoundEffectPlayer& self = sharedInstance();
    // Taken out before the call: a callback that asks for a new player
    // registers its own didStop, which must survive.
    DidStop didStop = std::move(self.didStop_);
    self.didStop_ = nullptr;
    std::shared_ptr<platform::AudioPlayer> current = self.currentPlayer_.lock();
    if (current) {
        current->stop();
        if (didStop) didStop(*current);
    }
    platform::NotificationCenter::defaultCenter().post(SoundEffectPlayerDidStoppedNotification,
                                                       current.get());
}

std::shared_ptr<platform::AudioPlayer> QELSoundEffectPlayer::playerWithContentsOfURL(
    const std::string& url, DidStop didStop, platform::AudioError* error) {
    stopCurrentPlaying();
    QELSoundEffectPlayer& self = sharedInstance();
    self.didStop_ = std::move(didStop);
    auto player = platform::AudioPlayer::playerWithContentsOfFile(url, error);
    if (player) self.currentPlayer_ = player;
    return player;
}
