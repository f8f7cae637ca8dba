#pragma once

#include <QAbstractNativeEventFilter>

#include "ui/hotkeys/QELGlobalHotkeys.h"

struct xcb_connection_t;
struct _XCBKeySymbols;

// Passive key grabs on the X11 root window over the connection Qt already
// has. Without X11 (offscreen) nothing is grabbed and it is unavailable.
class QELX11Hotkeys : public QELGlobalHotkeys, public QAbstractNativeEventFilter {
public:
    explicit QELX11Hotkeys(Fired fired);
    ~QELX11Hotkeys() override;

    bool available() const override { return connection_ != nullptr; }
    std::vector<QELKeyCombo> setHotkeys(std::vector<QELHotkey> hotkeys) override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Grab {
        QELHotkey hotkey;
        unsigned char keycode = 0;
        uint16_t modifiers = 0;
    };
    void ungrabAll();

    xcb_connection_t* connection_ = nullptr;
    _XCBKeySymbols* symbols_ = nullptr;
    uint32_t root_ = 0;
    std::vector<Grab> grabs_;
    std::vector<QELHotkey> hotkeys_;  // what the grabs stand for, to take again
};
