#include "core/remote/QELRemoteCommands.h"

#include "core/playback/QELSoundEffectPlayer.h"
#include "foundation/Text.h"

using platform::IndexPath;

namespace {

bool refuse(QELRemoteError* error, QELRemoteError::Code code, std::string message) {
    if (error) *error = QELRemoteError{code, std::move(message)};
    return false;
}

// Empty and oversized arguments are refused before they reach a lookup.
bool checkArgument(const std::string& value, const char* what, QELRemoteError* error) {
    if (value.empty())
        return refuse(error, QELRemoteError::Code::InvalidArgument,
                      std::string("the ") + what + " is empty");
    if (value.size() > QELRemoteCommands::kMaximumArgumentLength)
        return refuse(error, QELRemoteError::Code::InvalidArgument,
                      std::string("the ") + what + " is longer than " +
                          std::to_string(QELRemoteCommands::kMaximumArgumentLength) + " bytes");
    return true;
}

bool tapOrPlay(const QELRemoteCommands::Tap& tap, QELSoundEffectPlayController& controller,
               const IndexPath& indexPath, QELRemoteError* error) {
    platform::AudioError failure;
    const bool started = tap ? tap(indexPath, &failure)
                             : controller.playOrStopAtIndexPath(indexPath, &failure);
    if (!failure.message.empty())
        return refuse(error, QELRemoteError::Code::PlaybackFailed, failure.message);
    return started;
}

}  // namespace

const char* QELRemoteError::name() const {
    switch (code) {
        case Code::None: return "";
        case Code::InvalidArgument: return "InvalidArgument";
        case Code::NoSuchEffect: return "NoSuchEffect";
        case Code::PlaybackFailed: return "PlaybackFailed";
    }
    return "";
}

QELRemoteCommands::QELRemoteCommands(std::shared_ptr<QELSoundEffectListViewModel> board,
                                     std::shared_ptr<QELMySoundEffectsViewModel> favorites)
    : board_(std::move(board)), favorites_(std::move(favorites)) {
    lastPlaying_ = playing();
    playingObserver_ = platform::NotificationCenter::defaultCenter().addObserver(
        QELSoundEffectPlayController::PlayingEffectDidChangeNotification, nullptr,
        [this](const platform::Notification&) { playingMayHaveChanged(); });
}

QELRemoteCommands::~QELRemoteCommands() = default;

std::optional<IndexPath> QELRemoteCommands::find(const std::string& category,
                                                 const std::string& title, QELRemoteError* error) {
    if (!checkArgument(category, "category", error) || !checkArgument(title, "title", error))
        return std::nullopt;
    auto provider = board_->dataProvider();
    for (int64_t section = 0; section < provider->numberOfSections(); ++section) {
        if (!platform::canonicallyEqual(provider->titleForSection(section).value_or(""),
                                        category))
            continue;
        for (int64_t row = 0; row < provider->numberOfItemsInSection(section); ++row) {
            const IndexPath indexPath{section, row};
            if (platform::canonicallyEqual(provider->objectAtIndexPath(indexPath)->name(), title))
                return indexPath;
        }
    }
    refuse(error, QELRemoteError::Code::NoSuchEffect,
           "no effect \"" + title + "\" in category \"" + category + "\"");
    return std::nullopt;
}

bool QELRemoteCommands::exists(const std::string& category, const std::string& title,
                               QELRemoteError* error) {
    return find(category, title, error).has_value();
}

bool QELRemoteCommands::play(const std::string& category, const std::string& title,
                             QELRemoteError* error) {
    const auto indexPath = find(category, title, error);
    return indexPath && tapOrPlay(boardTap_, *board_, *indexPath, error);
}

std::optional<IndexPath> QELRemoteCommands::findFavorite(const std::string& title,
                                                         QELRemoteError* error) {
    if (!checkArgument(title, "title", error)) return std::nullopt;
    auto provider = favorites_->dataProvider();
    for (int64_t row = 0; row < provider->numberOfItemsInSection(0); ++row) {
        const IndexPath indexPath{0, row};
        if (platform::canonicallyEqual(provider->objectAtIndexPath(indexPath)->name(), title))
            return indexPath;
    }
    refuse(error, QELRemoteError::Code::NoSuchEffect, "no favourite \"" + title + "\"");
    return std::nullopt;
}

bool QELRemoteCommands::playFavorite(const std::string& title, QELRemoteError* error) {
    const auto indexPath = findFavorite(title, error);
    return indexPath && tapOrPlay(favoriteTap_, *favorites_, *indexPath, error);
}

bool QELRemoteCommands::favoriteExists(const std::string& title, QELRemoteError* error) {
    return findFavorite(title, error).has_value();
}

void QELRemoteCommands::stop() {
    // One sound at a time: the current player is the only one that can play.
    QELSoundEffectPlayer::stopCurrentPlaying();
}

std::vector<std::pair<std::string, std::string>> QELRemoteCommands::list() {
    std::vector<std::pair<std::string, std::string>> items;
    auto provider = board_->dataProvider();
    for (int64_t section = 0; section < provider->numberOfSections(); ++section)
        for (int64_t row = 0; row < provider->numberOfItemsInSection(section); ++row) {
            auto effect = provider->objectAtIndexPath({section, row});
            items.emplace_back(effect->category(), effect->name());
        }
    return items;
}

std::vector<std::string> QELRemoteCommands::listFavorites() {
    std::vector<std::string> titles;
    auto provider = favorites_->dataProvider();
    for (int64_t row = 0; row < provider->numberOfItemsInSection(0); ++row)
        titles.push_back(provider->objectAtIndexPath({0, row})->name());
    return titles;
}

std::string QELRemoteCommands::playing() const {
    for (const QELSoundEffectPlayController* controller :
         {static_cast<const QELSoundEffectPlayController*>(board_.get()),
          static_cast<const QELSoundEffectPlayController*>(favorites_.get())}) {
        if (auto effect = controller->playingEffect())
            return effect->category() + "/" + effect->name();
    }
    return {};
}

void QELRemoteCommands::playingMayHaveChanged() {
    std::string now = playing();
    if (now == lastPlaying_) return;
    lastPlaying_ = now;
    if (playingChanged_) playingChanged_(now);
}
