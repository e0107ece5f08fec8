#include "platform/detail/x11_keys.h"

#include <cstdlib>
#include <memory>

namespace verbalon::ui::x11 {

namespace {
// xcb hands out replies allocated with malloc.
struct FreeReply {
  void operator()(void* reply) const { std::free(reply); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

constexpr xcb_keysym_t kNumLockKeysym = 0xff7f;  // XK_Num_Lock
}  // namespace

xcb_keycode_t keycodeOf(xcb_connection_t* connection, xcb_keysym_t keysym) {
  const xcb_setup_t* setup = xcb_get_setup(connection);
  const int first = setup->min_keycode;
  const int count = setup->max_keycode - first + 1;
  Reply<xcb_get_keyboard_mapping_reply_t> reply(xcb_get_keyboard_mapping_reply(
      connection,
      xcb_get_keyboard_mapping(connection, setup->min_keycode, static_cast<uint8_t>(count)),
      nullptr));
  if (!reply || reply->keysyms_per_keycode == 0) {
    return 0;
  }
  const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply.get());
  const int total = xcb_get_keyboard_mapping_keysyms_length(reply.get());
  for (int i = 0; i < total; ++i) {
    if (keysyms[i] == keysym) {
      return static_cast<xcb_keycode_t>(first + i / reply->keysyms_per_keycode);
    }
  }
  return 0;
}

uint16_t numLockMask(xcb_connection_t* connection) {
  const xcb_keycode_t numLock = keycodeOf(connection, kNumLockKeysym);
  if (numLock == 0) {
    return 0;
  }
  Reply<xcb_get_modifier_mapping_reply_t> reply(
      xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
  if (!reply) {
    return 0;
  }
  // Eight modifiers (Shift, Lock, Control, Mod1..Mod5), each with keycodes_per_modifier slots.
  const xcb_keycode_t* keycodes = xcb_get_modifier_mapping_keycodes(reply.get());
  const int perModifier = reply->keycodes_per_modifier;
  for (int modifier = 0; modifier < 8; ++modifier) {
    for (int slot = 0; slot < perModifier; ++slot) {
      if (keycodes[modifier * perModifier + slot] == numLock) {
        return static_cast<uint16_t>(1u << modifier);
      }
    }
  }
  return 0;
}

std::array<uint16_t, 4> lockCombinations(uint16_t numLock) {
  const auto lock = static_cast<uint16_t>(XCB_MOD_MASK_LOCK);
  return {uint16_t{0}, lock, numLock, static_cast<uint16_t>(lock | numLock)};
}

std::vector<xcb_window_t> rootWindows(xcb_connection_t* connection) {
  std::vector<xcb_window_t> roots;
  for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection)); it.rem;
       xcb_screen_next(&it)) {
    roots.push_back(it.data->root);
  }
  return roots;
}

void sync(xcb_connection_t* connection) {
  Reply<xcb_get_input_focus_reply_t> reply(
      xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

bool grabKey(xcb_connection_t* connection, xcb_window_t root, uint16_t modifiers,
             xcb_keycode_t keycode) {
  // owner_events off: the press goes to the root window even while one of our own windows has
  // the focus, so it is seen once, as the hot key, and not also as that window's key press.
  const xcb_void_cookie_t cookie = xcb_grab_key_checked(connection, 0, root, modifiers, keycode,
                                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
  Reply<xcb_generic_error_t> error(xcb_request_check(connection, cookie));
  return !error;
}

}  // namespace verbalon::ui::x11
