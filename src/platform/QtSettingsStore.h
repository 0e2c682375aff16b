#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "app/SettingsStore.h"

class QSettings;

namespace vantrel {

// The settings store over QSettings. Subkey components become QSettings groups ("/").
//
// Value types: the Windows registry keeps numbers and strings apart, but an INI file
// holds only text, so "12" written as text and 12 written as an integer look the same
// there. The rule, the same on every platform:
// - an integer read accepts a stored number, or a text that is exactly a decimal 32-bit
//   integer ("-5", "169"); any other text ("", "12abc", " 7", "4294967296") is mistyped;
// - a text read accepts any stored text, and a stored number as its decimal digits;
// - anything else in the file (lists, byte arrays, other Qt types) is mistyped for both.
// Every write is synced at once, so a crash later loses nothing already written; the
// sync merges with what other processes wrote to the file meanwhile.
//
// One object belongs to one thread at a time.
class QtSettingsStore final : public SettingsStore {
 public:
  // The user's store of organisation "Tarvex", application "Vantrel": on Windows the
  // registry key HKEY_CURRENT_USER\Software\Tarvex\Vantrel, elsewhere the INI file
  // Tarvex/Vantrel.ini under the user's configuration directory.
  QtSettingsStore();
  // An INI file at `iniFile`, created with the first write.
  explicit QtSettingsStore(const std::filesystem::path& iniFile);
  ~QtSettingsStore() override;
  QtSettingsStore(const QtSettingsStore&) = delete;
  QtSettingsStore& operator=(const QtSettingsStore&) = delete;

  std::optional<std::string> ReadText(std::string_view subkey,
                                      std::string_view name) const override;
  std::optional<int32_t> ReadInteger(std::string_view subkey, std::string_view name) const override;
  void WriteText(std::string_view subkey, std::string_view name, std::string_view value) override;
  void WriteInteger(std::string_view subkey, std::string_view name, int32_t value) override;
  bool SubkeyExists(std::string_view subkey) const override;
  std::vector<std::string> ListSubkeys(std::string_view subkey) const override;
  void DeleteSubkey(std::string_view subkey) override;

  // The INI file's path or the registry key's name.
  std::string Location() const;

 private:
  std::unique_ptr<QSettings> settings_;
};

}  // namespace vantrel
