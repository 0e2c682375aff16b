#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/RomCatalogue.h"
#include "app/RomImages.h"

namespace vantrel {

// One line of the navigator's "ROM images inside:" list: a 16 KB page of the file, or
// the single error line of a scan that stopped.
struct RomPageItem {
  std::string text;  // catalogue description, "Unknown ROM" or the error
  uint16_t checksum = 0;
  int kind = kRomKindUnknown;
  bool known = false;  // found in the catalogue
};

// What the " ROM image info " group shows for a list line.
struct RomPageInfo {
  std::string ChecksumText = "#0000";
  std::string description;
  int kind = kRomKindUnknown;  // both kind lists; -1 selects nothing
  bool SelectEnabled = false;
};

// A new reference for one slot's edit box in the settings dialog.
struct RomSlotAssignment {
  RomSlot slot;
  std::string reference;
};

// The ROM Loading Navigator without its window: splits a ROM file into pages, names each
// by its checksum and turns choices into slot references. The dialog only displays it.
class RomNavigator {
 public:
  // Runs whenever the "ROM File:" text changes. An empty file shows "Invalid Size" like
  // any other size that is not whole pages: it holds no page to choose.
  void Scan(std::string_view fileText, const FileResolver& resolver);

  // False: the edit turns yellow and the list stays empty.
  bool FileFound() const { return fileFound_; }
  // The list holds the file's pages (no error stopped the scan): page controls enabled.
  bool PagesListed() const { return pagesListed_; }
  // Every page is in the catalogue: "Auto select all pages" enabled.
  bool AutoSelectEnabled() const { return pagesListed_ && allKnown_; }
  const std::vector<RomPageItem>& Items() const { return items_; }

  RomPageInfo ShowPage(size_t index) const;

  // "Select": the reference "file:index" for the slot chosen by "in page". Nothing for an
  // unknown page (the button is disabled) or a target kind outside the three slots.
  std::optional<RomSlotAssignment> Select(size_t index, int targetKind) const;

  // "Auto select all pages": per slot, the last known page of its kind; unknown pages and
  // kinds outside the three slots are skipped.
  std::array<std::optional<std::string>, kRomSlotCount> AutoSelectAll() const;

 private:
  void StopWith(std::string_view error);

  std::string fileText_;
  bool fileFound_ = false;
  bool pagesListed_ = false;
  bool allKnown_ = false;
  std::vector<RomPageItem> items_;
};

}  // namespace vantrel
