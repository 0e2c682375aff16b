// vantrel_xtest_type [--delay-ms N] [--hold-ms N] TOKEN...
//
// Types keys into the X display named by $DISPLAY through the XTEST extension, for
// end-to-end tests under Xvfb. A token is a keysym name ("p", "2", "Return", "F9",
// "Shift_R") or several joined by '+' ("Shift_R+k"), pressed in order and released in
// reverse. Each keysym is sent as the key code that carries it, so "Shift_R" is the right
// Shift key and not merely some Shift: the emulator maps the two Shift keys differently.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

constexpr int kMaxDelayMs = 60000;
// Long enough for a program that polls the keyboard state to see the key down; a busy
// machine may need longer (--hold-ms).
constexpr int kDefaultHoldMs = 50;

struct Chord {
  std::string Text;
  std::vector<KeyCode> Keys;
};

int Usage() {
  std::fprintf(stderr,
               "usage: vantrel_xtest_type [--delay-ms N] [--hold-ms N] TOKEN...\n"
               "  TOKEN: a keysym name (p, 2, Return, F9, Shift_R) or several\n"
               "         joined by '+' (Shift_R+k), pressed in order\n");
  return 2;
}

bool ParseDelay(std::string_view text, int& delayMs) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, delayMs);
  return !text.empty() && error == std::errc() && stop == end && delayMs >= 0 &&
         delayMs <= kMaxDelayMs;
}

// Resolves every keysym of a token; false with a message for a bad one.
bool ParseChord(Display* display, const std::string& token, Chord& chord) {
  chord.Text = token;
  size_t start = 0;
  while (start <= token.size()) {
    size_t plus = token.find('+', start);  // the '+' key itself is named "plus"
    if (plus == std::string::npos) plus = token.size();
    const std::string name = token.substr(start, plus - start);
    if (name.empty()) {
      std::fprintf(stderr, "vantrel_xtest_type: empty key name in '%s'\n", token.c_str());
      return false;
    }
    const KeySym keysym = XStringToKeysym(name.c_str());
    if (keysym == NoSymbol) {
      std::fprintf(stderr, "vantrel_xtest_type: unknown keysym '%s'\n", name.c_str());
      return false;
    }
    const KeyCode keycode = XKeysymToKeycode(display, keysym);
    if (keycode == 0) {
      std::fprintf(stderr, "vantrel_xtest_type: no key carries keysym '%s'\n", name.c_str());
      return false;
    }
    chord.Keys.push_back(keycode);
    start = plus + 1;
  }
  return true;
}

void SendKey(Display* display, KeyCode keycode, bool press) {
  XTestFakeKeyEvent(display, keycode, press ? True : False, CurrentTime);
  XSync(display, False);
}

}  // namespace

int main(int argc, char** argv) {
  int delayMs = 100;
  int holdMs = kDefaultHoldMs;
  std::vector<std::string> tokens;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--delay-ms" || arg == "--hold-ms") {
      if (i + 1 >= argc || !ParseDelay(argv[i + 1], arg == "--hold-ms" ? holdMs : delayMs)) {
        std::fprintf(stderr, "vantrel_xtest_type: %s needs a number 0..%d\n", argv[i], kMaxDelayMs);
        return 2;
      }
      ++i;
    } else if (arg == "--help" || arg == "-h") {
      Usage();
      return 0;
    } else {
      tokens.emplace_back(arg);
    }
  }
  if (tokens.empty()) return Usage();

  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "vantrel_xtest_type: cannot open display '%s'\n", XDisplayName(nullptr));
    return 1;
  }
  int eventBase = 0, errorBase = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
    std::fprintf(stderr, "vantrel_xtest_type: the display has no XTEST extension\n");
    XCloseDisplay(display);
    return 1;
  }

  // Every token is checked before the first key goes out, so a typo types nothing.
  std::vector<Chord> chords(tokens.size());
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (!ParseChord(display, tokens[i], chords[i])) {
      XCloseDisplay(display);
      return 2;
    }
  }

  for (size_t i = 0; i < chords.size(); ++i) {
    if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    for (const KeyCode keycode : chords[i].Keys) SendKey(display, keycode, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
    for (auto key = chords[i].Keys.rbegin(); key != chords[i].Keys.rend(); ++key) {
      SendKey(display, *key, false);
    }
  }
  XCloseDisplay(display);
  return 0;
}
