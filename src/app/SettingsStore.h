#pragma once

#include <algorithm>
#include <concepts>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace vantrel {

// The C++ integer types a stored 32-bit integer may be read into.
template <class T>
concept SettingsInteger = std::integral<T> && !std::same_as<T, bool>;
// An enumeration whose values index a list of choices stored as an integer.
template <class T>
concept SettingsChoice = std::is_enum_v<T>;

// The per-user store of persistent settings, rooted at "\Software\Tarvex\Vantrel\".
//
// A subkey is written as in the settings tables, relative to the root, with backslashes
// between components ("Hardware\Kempston Joystick", "Model\Timing\"). Leading, trailing
// and doubled backslashes are ignored; "" is the root. Names must not contain "/", which
// some back ends use as their own separator. Names are compared exactly (case matters).
//
// Values have one of two stored types: text and 32-bit integer. A flag is stored as the
// integer 0 or 1 and read back as false for 0 and true for any other number. A read
// gives nullopt when the value is missing or when its stored type cannot be read as the
// requested one; that is all the group rule needs, so the two cases are not told apart.
// Subkeys come into being with the first value written beneath them.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;

  virtual std::optional<std::string> ReadText(std::string_view subkey,
                                              std::string_view name) const = 0;
  virtual std::optional<int32_t> ReadInteger(std::string_view subkey,
                                             std::string_view name) const = 0;
  std::optional<bool> ReadFlag(std::string_view subkey, std::string_view name) const;

  virtual void WriteText(std::string_view subkey, std::string_view name,
                         std::string_view value) = 0;
  virtual void WriteInteger(std::string_view subkey, std::string_view name, int32_t value) = 0;
  void WriteFlag(std::string_view subkey, std::string_view name, bool value) {
    WriteInteger(subkey, name, value ? 1 : 0);
  }

  virtual bool SubkeyExists(std::string_view subkey) const = 0;
  // Names of the direct child subkeys, sorted.
  virtual std::vector<std::string> ListSubkeys(std::string_view subkey) const = 0;
  // Removes the subkey with all its values and subkeys. The root itself is never removed.
  virtual void DeleteSubkey(std::string_view subkey) = 0;
};

// The components of a subkey path with the empty ones dropped: "\A\\B\" gives {"A", "B"}.
std::vector<std::string> SubkeyComponents(std::string_view subkey);

// An in-memory store that keeps each value's type exactly. Used by the tests and by
// headless programs that run without a settings file.
class MemorySettingsStore final : public SettingsStore {
 public:
  std::optional<std::string> ReadText(std::string_view subkey,
                                      std::string_view name) const override;
  std::optional<int32_t> ReadInteger(std::string_view subkey, std::string_view name) const override;
  void WriteText(std::string_view subkey, std::string_view name, std::string_view value) override;
  void WriteInteger(std::string_view subkey, std::string_view name, int32_t value) override;
  bool SubkeyExists(std::string_view subkey) const override;
  std::vector<std::string> ListSubkeys(std::string_view subkey) const override;
  void DeleteSubkey(std::string_view subkey) override;

 private:
  using Value = std::variant<std::string, int32_t>;
  using Values = std::map<std::string, Value, std::less<>>;

  const Value* Find(std::string_view subkey, std::string_view name) const;

  // Keyed by the normalised path ("A\B"); a subkey exists while it or a descendant
  // holds an entry here.
  std::map<std::string, Values, std::less<>> keys_;
};

// Reads one group of values under one subkey, applying the group rule: reading stops at
// the first value that is missing, mistyped or out of range, and then every value of the
// group gets back what it held before the group was read. Load functions start from a
// default-constructed settings struct, so "what it held before" is the group's default,
// or the built-in initial state for groups without defaults.
//
//   GroupReader(store, "Hardware\\Keyboard")
//       .Integer("Port Mask", s.Mask)
//       .Integer("Port Bits", s.Bits)
//       .Flag("Enabled", s.Enabled);
//
// Values are assigned as they are read and put back at the first failure, so after any
// call the group is either read so far or entirely at its previous values.
class GroupReader {
 public:
  GroupReader(const SettingsStore& store, std::string_view subkey)
      : store_(store), subkey_(subkey) {}
  GroupReader(const GroupReader&) = delete;
  GroupReader& operator=(const GroupReader&) = delete;

  GroupReader& Text(std::string_view name, std::string& value);
  GroupReader& Flag(std::string_view name, bool& value);

  // An integer accepted only within [min, max] and the range of T; out-of-range values
  // fail the group, so a value the machine cannot use never reaches it.
  template <SettingsInteger T>
  GroupReader& Integer(std::string_view name, T& value, int64_t min = Lowest<T>(),
                       int64_t max = Highest<T>()) {
    if (const auto read =
            NextInteger(name, std::max(min, Lowest<T>()), std::min(max, Highest<T>()))) {
      Accept(value, static_cast<T>(*read));
    }
    return *this;
  }

  // An index into a list of `count` choices, held in an enumeration.
  template <SettingsChoice E>
  GroupReader& Choice(std::string_view name, E& value, int count) {
    if (const auto read = NextInteger(name, 0, count - 1)) Accept(value, static_cast<E>(*read));
    return *this;
  }

  // True while every value asked for so far has been read.
  bool ok() const { return ok_; }

 private:
  template <class T>
  static constexpr int64_t Lowest() {
    return std::max<int64_t>(std::numeric_limits<T>::min(), std::numeric_limits<int32_t>::min());
  }
  template <class T>
  static constexpr int64_t Highest() {
    return std::min<int64_t>(std::numeric_limits<T>::max(), std::numeric_limits<int32_t>::max());
  }

  std::optional<int32_t> NextInteger(std::string_view name, int64_t min, int64_t max);
  void Fail();

  template <class T>
  void Accept(T& target, T value) {
    undo_.push_back([&target, old = target] { target = old; });
    target = std::move(value);
  }

  const SettingsStore& store_;
  std::string subkey_;
  bool ok_ = true;
  std::vector<std::function<void()>> undo_;
};

// Writes values under one subkey, the counterpart of GroupReader so that a save function
// reads line by line like its load function.
class GroupWriter {
 public:
  GroupWriter(SettingsStore& store, std::string_view subkey) : store_(store), subkey_(subkey) {}
  GroupWriter(const GroupWriter&) = delete;
  GroupWriter& operator=(const GroupWriter&) = delete;

  GroupWriter& Text(std::string_view name, std::string_view value) {
    store_.WriteText(subkey_, name, value);
    return *this;
  }
  GroupWriter& Flag(std::string_view name, bool value) {
    store_.WriteFlag(subkey_, name, value);
    return *this;
  }
  template <SettingsInteger T>
  GroupWriter& Integer(std::string_view name, T value) {
    store_.WriteInteger(subkey_, name, static_cast<int32_t>(value));
    return *this;
  }
  template <SettingsChoice E>
  GroupWriter& Choice(std::string_view name, E value) {
    store_.WriteInteger(subkey_, name, static_cast<int32_t>(value));
    return *this;
  }

 private:
  SettingsStore& store_;
  std::string subkey_;
};

}  // namespace vantrel
