#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include <xcb/xcb.h>

// Small xcb helpers of the hot keys, kept apart so that tests can play a second X client.
namespace verbalon::ui::x11 {

// The first keycode that produces keysym in any column of the keyboard mapping; 0 when none.
xcb_keycode_t keycodeOf(xcb_connection_t* connection, xcb_keysym_t keysym);

// The modifier bit that Num Lock sets on this server (usually Mod2); 0 when Num Lock has none.
uint16_t numLockMask(xcb_connection_t* connection);

// The lock combinations that X11 counts as modifiers and a hot key must not care about:
// none, Caps Lock, Num Lock and both.
std::array<uint16_t, 4> lockCombinations(uint16_t numLock);

// The root window of every screen.
std::vector<xcb_window_t> rootWindows(xcb_connection_t* connection);

// Waits until the server has carried out every request sent so far on connection.
void sync(xcb_connection_t* connection);

// Grabs keycode with modifiers on root for this client, without waiting for others' events.
// false when the server refuses (BadAccess: another client holds the combination).
bool grabKey(xcb_connection_t* connection, xcb_window_t root, uint16_t modifiers,
             xcb_keycode_t keycode);

}  // namespace verbalon::ui::x11
