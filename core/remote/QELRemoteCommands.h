#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "audio/AudioPlayer.h"
#include "core/collection/QELMySoundEffectsViewModel.h"
#include "core/playback/QELSoundEffectListViewModel.h"
#include "foundation/IndexPath.h"
#include "foundation/NotificationCenter.h"

// Why a command from outside the window was refused. `name()` is the last
// component of the error name callers see on the bus.
struct QELRemoteError {
    enum class Code { None, InvalidArgument, NoSuchEffect, PlaybackFailed };
    Code code = Code::None;
    std::string message;

    explicit operator bool() const { return code != Code::None; }
    const char* name() const;
};

// The commands that reach the program from outside its window (the session
// bus, hotkeys, the CLI): play a board effect or a favourite as a tap on its
// item does, stop, list, and say what plays. The screens hand in their tap
// so that a remote play lights its item and is counted like a tap; without
// one the models are played directly. Main thread only.
class QELRemoteCommands {
public:
    // Longer arguments are refused before any lookup.
    static constexpr std::size_t kMaximumArgumentLength = 1024;

    // True when the tap started a sound, false when it stopped one or
    // failed (with `error` set).
    using Tap = std::function<bool(const platform::IndexPath&, platform::AudioError*)>;
    using PlayingChanged = std::function<void(const std::string&)>;

    QELRemoteCommands(std::shared_ptr<QELSoundEffectListViewModel> board,
                      std::shared_ptr<QELMySoundEffectsViewModel> favorites);
    ~QELRemoteCommands();
    QELRemoteCommands(const QELRemoteCommands&) = delete;
    QELRemoteCommands& operator=(const QELRemoteCommands&) = delete;

    void setBoardTap(Tap tap) { boardTap_ = std::move(tap); }
    void setFavoriteTap(Tap tap) { favoriteTap_ = std::move(tap); }

    // A tap on the board's item of this category and title: true when a
    // sound started, false when it stopped the one playing or was refused.
    bool play(const std::string& category, const std::string& title,
              QELRemoteError* error = nullptr);
    // Whether the board has that item, without playing it.
    bool exists(const std::string& category, const std::string& title,
                QELRemoteError* error = nullptr);
    // The same for the first favourite of this title.
    bool playFavorite(const std::string& title, QELRemoteError* error = nullptr);
    bool favoriteExists(const std::string& title, QELRemoteError* error = nullptr);
    // Stops whatever sound plays, wherever it was started.
    void stop();

    // The board in order, as (category, title).
    std::vector<std::pair<std::string, std::string>> list();
    // The favourites' titles in order.
    std::vector<std::string> listFavorites();

    // "category/title" of the sound of the board or the collection that
    // plays, empty when none does.
    std::string playing() const;
    // Told with the new value each time `playing()` changes.
    void setPlayingChanged(PlayingChanged callback) { playingChanged_ = std::move(callback); }

private:
    std::optional<platform::IndexPath> find(const std::string& category, const std::string& title,
                                            QELRemoteError* error);
    std::optional<platform::IndexPath> findFavorite(const std::string& title,
                                                    QELRemoteError* error);
    void playingMayHaveChanged();

    std::shared_ptr<QELSoundEffectListViewModel> board_;
    std::shared_ptr<QELMySoundEffectsViewModel> favorites_;
    Tap boardTap_;
    Tap favoriteTap_;
    PlayingChanged playingChanged_;
    std::string lastPlaying_;
    platform::NotificationToken playingObserver_;
};
