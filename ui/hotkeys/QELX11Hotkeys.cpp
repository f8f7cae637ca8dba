#include "ui/hotkeys/QELX11Hotkeys.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QGuiApplication>
#include <algorithm>
#include <cstdlib>

namespace {

// Caps Lock and Num Lock must not keep a hotkey from firing: every grab is
// made under each of their combinations.
constexpr uint16_t kIgnored[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                 XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
constexpr uint16_t kRelevant =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

uint16_t modifierMask(unsigned modifiers) {
    uint16_t mask = 0;
    if (modifiers & QELKeyCombo::Shift) mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & QELKeyCombo::Ctrl) mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & QELKeyCombo::Alt) mask |= XCB_MOD_MASK_1;
    if (modifiers & QELKeyCombo::Super) mask |= XCB_MOD_MASK_4;
    return mask;
}

// Letters and digits are their Latin-1 keysyms; F1 is 0xffbe.
xcb_keysym_t keysym(const std::string& key) {
    if (key.size() == 1) return static_cast<unsigned char>(key[0]);
    return 0xffbe + static_cast<xcb_keysym_t>(std::atoi(key.c_str() + 1) - 1);
}

}  // namespace

QELX11Hotkeys::QELX11Hotkeys(Fired fired) : QELGlobalHotkeys(std::move(fired)) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) return;
    connection_ = x11->connection();
    symbols_ = xcb_key_symbols_alloc(connection_);
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    qGuiApp->installNativeEventFilter(this);
}

QELX11Hotkeys::~QELX11Hotkeys() {
    if (!connection_) return;
    if (qGuiApp) qGuiApp->removeNativeEventFilter(this);
    ungrabAll();
    xcb_flush(connection_);
    xcb_key_symbols_free(symbols_);
}

void QELX11Hotkeys::ungrabAll() {
    for (const Grab& g : grabs_)
        for (uint16_t extra : kIgnored)
            xcb_ungrab_key(connection_, g.keycode, root_, g.modifiers | extra);
    grabs_.clear();
}

std::vector<QELKeyCombo> QELX11Hotkeys::setHotkeys(std::vector<QELHotkey> hotkeys) {
    taken_.clear();
    if (!connection_) return taken_;
    ungrabAll();
    hotkeys_ = hotkeys;
    for (QELHotkey& hotkey : hotkeys) {
        // A keysym may sit on several keys (F-keys often do): grab them all.
        std::vector<xcb_keycode_t> keycodes;
        if (xcb_keycode_t* codes =
                xcb_key_symbols_get_keycode(symbols_, keysym(hotkey.combo.key))) {
            for (xcb_keycode_t* c = codes; *c != XCB_NO_SYMBOL; ++c) keycodes.push_back(*c);
            std::free(codes);
        }
        if (keycodes.empty()) {
            taken_.push_back(hotkey.combo);  // no such key on this keyboard
            continue;
        }
        const uint16_t mask = modifierMask(hotkey.combo.modifiers);
        bool refused = false;
        std::vector<xcb_void_cookie_t> cookies;
        for (xcb_keycode_t keycode : keycodes)
            for (uint16_t extra : kIgnored)
                cookies.push_back(xcb_grab_key_checked(connection_, 1, root_, mask | extra, keycode,
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        for (auto cookie : cookies) {
            if (xcb_generic_error_t* error = xcb_request_check(connection_, cookie)) {
                refused = true;  // BadAccess: another client holds it
                std::free(error);
            }
        }
        if (refused) {
            // Release whatever part of it we did get.
            for (xcb_keycode_t keycode : keycodes)
                for (uint16_t extra : kIgnored)
                    xcb_ungrab_key(connection_, keycode, root_, mask | extra);
            taken_.push_back(hotkey.combo);
            continue;
        }
        for (xcb_keycode_t keycode : keycodes) grabs_.push_back(Grab{hotkey, keycode, mask});
    }
    xcb_flush(connection_);
    return taken_;
}

bool QELX11Hotkeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) == XCB_MAPPING_NOTIFY) {
        // A new keyboard layout can move a key to another keycode: the old
        // grabs would then hold the wrong key. Qt still needs the event too.
        auto* mapping = reinterpret_cast<xcb_mapping_notify_event_t*>(event);
        xcb_refresh_keyboard_mapping(symbols_, mapping);
        if (mapping->request != XCB_MAPPING_POINTER) setHotkeys(hotkeys_);
        return false;
    }
    if ((event->response_type & 0x7f) != XCB_KEY_PRESS) return false;
    auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
    if (press->root != root_ || press->event != root_) return false;
    const uint16_t state = press->state & kRelevant;
    for (const Grab& g : grabs_) {
        if (g.keycode == press->detail && g.modifiers == state) {
            // Copied: firing may replace the grabs.
            const QELHotkey hotkey = g.hotkey;
            fire(hotkey);
            return true;
        }
    }
    return false;
}
