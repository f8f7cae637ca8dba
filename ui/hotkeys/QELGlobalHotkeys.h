#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "core/remote/QELHotkeys.h"

// Key combinations that work while another program has the focus. Where the
// desktop offers no way to have them `available()` is false and nothing
// fires. Main thread only. createGlobalHotkeys (QELHotkeyBackends.h) picks
// the backend.
class QELGlobalHotkeys {
public:
    using Fired = std::function<void(const QELHotkey&)>;

    explicit QELGlobalHotkeys(Fired fired) : fired_(std::move(fired)) {}
    virtual ~QELGlobalHotkeys() = default;
    QELGlobalHotkeys(const QELGlobalHotkeys&) = delete;
    QELGlobalHotkeys& operator=(const QELGlobalHotkeys&) = delete;

    virtual bool available() const = 0;
    // Releases the previous combinations and takes these; returns those
    // another program holds already (they stay listed, but do nothing). A
    // backend that learns it later reports them through `taken()`.
    virtual std::vector<QELKeyCombo> setHotkeys(std::vector<QELHotkey> hotkeys) = 0;
    const std::vector<QELKeyCombo>& taken() const { return taken_; }
    bool isTaken(const QELKeyCombo& combo) const;

    // Stores `hotkey` in the user's hotkeys (replacing what its combination
    // fired) and takes them again; false when another program holds the
    // combination, which stays assigned and listed as taken.
    bool assign(const QELHotkey& hotkey);
    // False when no hotkey had that combination.
    bool clear(const QELKeyCombo& combo);

protected:
    void fire(const QELHotkey& hotkey) {
        if (fired_) fired_(hotkey);
    }
    std::vector<QELKeyCombo> taken_;

private:
    Fired fired_;
};
