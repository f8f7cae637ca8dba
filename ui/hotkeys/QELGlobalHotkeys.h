#pragma once

#include <QAbstractNativeEventFilter>
#include <functional>
#include <vector>

#include "core/remote/QELHotkeys.h"

struct xcb_connection_t;
struct _XCBKeySymbols;

// Key combinations that work while another program has the focus: passive
// key grabs on the X11 root window over the connection Qt already has.
// Elsewhere (Wayland, offscreen) `available()` is false and nothing is
// grabbed. Main thread only.
class QELGlobalHotkeys : public QAbstractNativeEventFilter {
public:
    using Fired = std::function<void(const QELHotkey&)>;

    explicit QELGlobalHotkeys(Fired fired);
    ~QELGlobalHotkeys() override;
    QELGlobalHotkeys(const QELGlobalHotkeys&) = delete;
    QELGlobalHotkeys& operator=(const QELGlobalHotkeys&) = delete;

    bool available() const { return connection_ != nullptr; }
    // Releases the previous grabs and grabs these; returns the combinations
    // another program holds already (they stay listed, but do nothing).
    std::vector<QELKeyCombo> setHotkeys(std::vector<QELHotkey> hotkeys);
    const std::vector<QELKeyCombo>& taken() const { return taken_; }
    bool isTaken(const QELKeyCombo& combo) const;

    // Stores `hotkey` in the user's hotkeys (replacing what its combination
    // fired) and grabs them again; false when another program holds the
    // combination, which stays assigned and listed as taken.
    bool assign(const QELHotkey& hotkey);
    // False when no hotkey had that combination.
    bool clear(const QELKeyCombo& combo);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Grab {
        QELHotkey hotkey;
        unsigned char keycode = 0;
        uint16_t modifiers = 0;
    };
    void ungrabAll();

    Fired fired_;
    xcb_connection_t* connection_ = nullptr;
    _XCBKeySymbols* symbols_ = nullptr;
    uint32_t root_ = 0;
    std::vector<Grab> grabs_;
    std::vector<QELKeyCombo> taken_;
};
