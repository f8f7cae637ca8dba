/* Another X client holding Ctrl+Alt+2 on the root window until killed:
   what a program that got the combination first looks like. */
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

int main(void) {
    xcb_connection_t* c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c)) return 1;
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c);
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, '2');
    if (!codes) return 1;
    xcb_generic_error_t* error = xcb_request_check(
        c, xcb_grab_key_checked(c, 1, root, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1, codes[0],
                                XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    if (error) return 1;
    puts("grabbed");
    fflush(stdout);
    pause();
    return 0;
}
