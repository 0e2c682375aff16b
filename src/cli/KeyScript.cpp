#include "cli/KeyScript.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>

#include "input/KeyMatrix.h"

namespace vantrel {

namespace {

std::string Upper(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return result;
}

// -1 for a name that is no key.
int KeyOfName(std::string_view name) {
  const std::string upper = Upper(name);
  if (upper == "ENTER") return kKeyEnter;
  if (upper == "SPACE") return kKeySpace;
  if (upper == "CS") return kKeyCapsShift;
  if (upper == "SS") return kKeySymbolShift;
  if (upper.size() == 1 && upper[0] != ' ') return KeyIndexOfChar(upper[0]);
  return -1;
}

bool ParseStroke(std::string_view token, KeyStroke* stroke, std::string* error) {
  stroke->Text = std::string(token);
  const auto fail = [&](const std::string& why) {
    *error = "bad key '" + std::string(token) + "': " + why;
    return false;
  };

  std::string_view keys = token;
  if (const size_t at = token.find('@'); at != std::string_view::npos) {
    keys = token.substr(0, at);
    const std::string_view digits = token.substr(at + 1);
    uint64_t frame = 0;
    const char* end = digits.data() + digits.size();
    const auto [stop, ec] = std::from_chars(digits.data(), end, frame);
    // The cap keeps every derived frame number far from overflow.
    if (digits.empty() || ec != std::errc() || stop != end ||
        frame > std::numeric_limits<uint32_t>::max()) {
      return fail("the frame after '@' must be a number from 0 to 4294967295");
    }
    stroke->StartFrame = frame;
  }
  if (keys.empty()) return fail("no key before '@'");

  size_t start = 0;
  while (true) {
    const size_t plus = keys.find('+', start);
    const std::string_view name =
        keys.substr(start, plus == std::string_view::npos ? std::string_view::npos : plus - start);
    if (name.empty()) return fail("an empty key name around '+'");
    const int key = KeyOfName(name);
    if (key < 0) {
      return fail("'" + std::string(name) + "' is not a key (A-Z, 0-9, ENTER, SPACE, CS, SS)");
    }
    stroke->Keys.push_back(key);
    if (plus == std::string_view::npos) break;
    start = plus + 1;
  }
  return true;
}

}  // namespace

bool ParseKeyScript(std::string_view script, std::vector<KeyStroke>* strokes, std::string* error) {
  std::vector<KeyStroke> parsed;
  size_t pos = 0;
  while (pos < script.size()) {
    if (std::isspace(static_cast<unsigned char>(script[pos]))) {
      ++pos;
      continue;
    }
    size_t end = pos;
    while (end < script.size() && !std::isspace(static_cast<unsigned char>(script[end]))) ++end;
    KeyStroke stroke;
    if (!ParseStroke(script.substr(pos, end - pos), &stroke, error)) return false;
    parsed.push_back(std::move(stroke));
    pos = end;
  }
  *strokes = std::move(parsed);
  return true;
}

KeySchedule::KeySchedule(const std::vector<KeyStroke>& strokes) {
  uint64_t nextFree = 0;
  for (const KeyStroke& stroke : strokes) {
    const uint64_t press = stroke.StartFrame.value_or(nextFree);
    const uint64_t release = press + kKeyHoldFrames;
    for (int key : stroke.Keys) {
      events_.push_back({press, key, true});
      events_.push_back({release, key, false});
    }
    nextFree = release + kKeyGapFrames;
  }
  // Stable, so the keys of one frame keep the script's order.
  std::stable_sort(events_.begin(), events_.end(), [](const KeyEvent& a, const KeyEvent& b) {
    if (a.Frame != b.Frame) return a.Frame < b.Frame;
    return !a.Press && b.Press;
  });
}

void KeySchedule::ApplyFrame(uint64_t frame, KeyMatrix& keys) {
  while (next_ < events_.size() && events_[next_].Frame <= frame) {
    const KeyEvent& event = events_[next_++];
    if (event.Press) {
      keys.PressKey(event.Key);
    } else {
      keys.ReleaseKey(event.Key);
    }
  }
}

}  // namespace vantrel
