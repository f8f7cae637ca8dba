#pragma once

#include <functional>
#include <memory>
#include <string>

#include "audio/AudioPlayer.h"

// The one place audio players for sound effects come from, so that at most
// one sound effect plays in the whole program: handing out a new player
// stops the previous one and tells its owner. Main thread only.
class QELSoundEffectPlayer final {
public:
    using DidStop = std::function<void(platform::AudioPlayer&)>;

    // "SoundEffectPlayerDidStopped", posted on the default centre whenever
    // the current player is stopped here; the object is that player (or null).
    static constexpr const char* SoundEffectPlayerDidStoppedNotification =
        "SoundEffectPlayerDidStopped";

    // Stops the current player, then hands out a new, unstarted player for
    // the file at `url`; the caller owns it. `didStop` is called with the
    // player when a later request stops it. nullptr with `error` when the
    // file cannot be opened as audio (the previous player is stopped anyway).
    static std::shared_ptr<platform::AudioPlayer> playerWithContentsOfURL(
        const std::string& url, DidStop didStop, platform::AudioError* error = nullptr);

    // Stops the current player if it still exists, tells its owner, and posts
    // the notification (also when there is no player).
    static void stopCurrentPlaying();

private:
    QELSoundEffectPlayer() = default;
    static QELSoundEffectPlayer& sharedInstance();

    std::weak_ptr<platform::AudioPlayer> currentPlayer_;
    DidStop didStop_;
};
