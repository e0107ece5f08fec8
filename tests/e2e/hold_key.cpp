// Another program that holds Ctrl+Alt+D: grabs it on the root window in the Num Lock state only,
// prints "held" and waits to be killed. A program that then registers the key finds it taken,
// while Ctrl+Alt+D without Num Lock still reaches the focused window.
#include <cstdio>

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <unistd.h>

int main() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "hold_key: no X display\n");
    return 2;
  }
  const KeyCode keycode = XKeysymToKeycode(display, XK_d);
  XGrabKey(display, keycode, ControlMask | Mod1Mask | Mod2Mask, XDefaultRootWindow(display), True,
           GrabModeAsync, GrabModeAsync);
  XSync(display, False);
  std::puts("held");
  std::fflush(stdout);
  pause();
  return 0;
}
