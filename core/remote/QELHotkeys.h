#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/remote/QELRemoteCommands.h"
#include "foundation/UserDefaults.h"

// A key combination: modifiers and one key, written like "ctrl+alt+1".
struct QELKeyCombo {
    enum Modifier : unsigned { Shift = 1, Ctrl = 2, Alt = 4, Super = 8 };
    unsigned modifiers = 0;
    std::string key;  // lower-case: a letter, a digit, or f1 to f12

    // nullopt for anything else, for a key without a modifier (it would
    // take the key from every other program) and for Ctrl+Alt+F-keys.
    static std::optional<QELKeyCombo> parse(const std::string& text);
    // The canonical spelling: modifiers in the order ctrl, alt, shift, super.
    std::string text() const;
    bool operator==(const QELKeyCombo&) const = default;
};

// What a hotkey fires.
struct QELHotkey {
    enum class Action { StopAll, Play, PlayFavorite };
    QELKeyCombo combo;
    Action action = Action::StopAll;
    std::string category;  // Play only
    std::string title;     // Play and PlayFavorite

    // "stop-all", "category/title" or "favorite:title".
    std::string describe() const;
};

// The user's hotkeys, kept in the user defaults. Until the user changes
// anything, stop-all has kDefaultStopAll and nothing else has a key.
class QELHotkeys {
public:
    static constexpr const char* kDefaultStopAll = "ctrl+alt+0";

    explicit QELHotkeys(platform::UserDefaults& defaults = platform::UserDefaults::standard());

    std::vector<QELHotkey> all() const;
    // Replaces what `hotkey.combo` fired before.
    void set(const QELHotkey& hotkey);
    // False when no hotkey has that combination.
    bool clear(const QELKeyCombo& combo);

    // Fires `hotkey` through `commands`: as their play, stop. A hotkey whose
    // effect has gone stays assigned and is refused with NoSuchEffect.
    static bool fire(const QELHotkey& hotkey, QELRemoteCommands& commands,
                     QELRemoteError* error = nullptr);
    // Whether `hotkey` names an effect `commands` know: what every way of
    // assigning one asks before it stores.
    static bool check(const QELHotkey& hotkey, QELRemoteCommands& commands,
                      QELRemoteError* error = nullptr);

private:
    void store(const std::vector<QELHotkey>& hotkeys);
    platform::UserDefaults& defaults_;
};
