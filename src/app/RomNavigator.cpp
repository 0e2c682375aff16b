#include "app/RomNavigator.h"

#include <fstream>

namespace vantrel {

void RomNavigator::StopWith(std::string_view error) {
  items_.push_back({std::string(error)});
  allKnown_ = false;
}

void RomNavigator::Scan(std::string_view fileText, const FileResolver& resolver) {
  fileText_ = fileText;
  fileFound_ = pagesListed_ = allKnown_ = false;
  items_.clear();

  const std::optional<std::filesystem::path> file = resolver.Resolve(fileText_);
  if (!file) return;
  fileFound_ = true;

  std::ifstream in(*file, std::ios::binary);
  in.seekg(0, std::ios::end);
  const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
  if (size < 0) return StopWith("Opening Error");
  if (size == 0 || size % static_cast<std::streamoff>(kRomPageSize) != 0) {
    return StopWith("Invalid Size");
  }

  in.seekg(0);
  allKnown_ = true;
  std::array<uint8_t, kRomPageSize> page;
  for (std::streamoff offset = 0; offset < size; offset += kRomPageSize) {
    in.read(reinterpret_cast<char*>(page.data()), page.size());
    if (!in || in.gcount() != static_cast<std::streamsize>(page.size())) {
      return StopWith("Loading Error");
    }
    const uint16_t checksum = RomChecksum(page);
    const RomIdentity identity = IdentifyRom(checksum);
    items_.push_back(
        {std::string(identity.description), checksum, identity.kind, identity.Known()});
    if (!identity.Known()) allKnown_ = false;
  }
  pagesListed_ = true;
}

RomPageInfo RomNavigator::ShowPage(size_t index) const {
  if (index >= items_.size()) return {};
  const RomPageItem& item = items_[index];
  return {FormatChecksum(item.checksum), item.text, item.kind, pagesListed_ && item.known};
}

std::optional<RomSlotAssignment> RomNavigator::Select(size_t index, int targetKind) const {
  if (!ShowPage(index).SelectEnabled) return std::nullopt;
  if (targetKind < 0 || targetKind >= kRomSlotCount) return std::nullopt;
  return RomSlotAssignment{static_cast<RomSlot>(targetKind), MakeRomReference(fileText_, index)};
}

std::array<std::optional<std::string>, kRomSlotCount> RomNavigator::AutoSelectAll() const {
  std::array<std::optional<std::string>, kRomSlotCount> slots;
  if (!pagesListed_) return slots;
  for (size_t index = 0; index < items_.size(); ++index) {
    const RomPageItem& item = items_[index];
    if (item.known && item.kind >= 0 && item.kind < kRomSlotCount) {
      slots[static_cast<size_t>(item.kind)] = MakeRomReference(fileText_, index);
    }
  }
  return slots;
}

}  // namespace vantrel
