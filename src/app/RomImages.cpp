#include "app/RomImages.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

#include "core/Memory.h"

namespace vantrel {

namespace fs = std::filesystem;

static_assert(Memory::kRomSize == kRomPageSize);

namespace {

// The single-ROM files a default slot falls back to, page 0 each, in order.
std::span<const std::string_view> FallbackNames(RomSlot slot) {
  static constexpr std::string_view k48k[] = {"48.rom", "opense.rom"};
  static constexpr std::string_view k128k[] = {"128-0.rom", "opense-stub.rom"};
  static constexpr std::string_view kTrDos[] = {"trdos.rom"};
  switch (slot) {
    case RomSlot::k48kBasic: return k48k;
    case RomSlot::k128kBasic: return k128k;
    case RomSlot::kTrDos: return kTrDos;
  }
  return {};
}

// Reads into a temporary first so a short file leaves the buffer as it was.
bool ReadPage(const fs::path& file, uint64_t offset, RomBuffer buffer) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0 || offset > static_cast<uint64_t>(size) ||
      static_cast<uint64_t>(size) - offset < kRomPageSize) {
    return false;
  }
  std::array<char, kRomPageSize> page;
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(page.data(), page.size());
  if (!in || in.gcount() != static_cast<std::streamsize>(page.size())) return false;
  std::memcpy(buffer.data(), page.data(), page.size());
  return true;
}

}  // namespace

RomReference ParseRomReference(std::string_view text) {
  RomReference reference;
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 1) {
    reference.path = text;
    return reference;
  }
  reference.path = text.substr(0, colon);
  const std::string_view pageText = text.substr(colon + 1);
  const char* end = pageText.data() + pageText.size();
  uint32_t page = 0;
  const auto [last, error] = std::from_chars(pageText.data(), end, page);
  if (last != end || error == std::errc::invalid_argument) return reference;  // not a number
  if (error == std::errc::result_out_of_range) {
    reference.PageTooLarge = true;
  } else {
    reference.page = page;
  }
  return reference;
}

std::string MakeRomReference(std::string_view path, size_t page) {
  std::string reference(path);
  reference += ':';
  reference += std::to_string(page);
  return reference;
}

DataDirEnvironment DataDirEnvironment::FromProcess() {
  auto read = [](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value ? value : "");
  };
  return {read("HOME"), read("XDG_DATA_HOME"), read("XDG_DATA_DIRS")};
}

std::vector<fs::path> RomDataDirectories(const DataDirEnvironment& env) {
  std::vector<fs::path> dirs;
  fs::path dataHome = env.XdgDataHome;
  if (!dataHome.is_absolute()) {
    const fs::path home = env.Home;
    dataHome = home.is_absolute() ? home / ".local" / "share" : fs::path();
  }
  if (!dataHome.empty()) dirs.push_back(dataHome / "vantrel" / "roms");

  std::string_view dataDirs = env.XdgDataDirs;
  if (dataDirs.empty()) dataDirs = "/usr/local/share:/usr/share";
  size_t start = 0;
  while (start <= dataDirs.size()) {
    size_t colon = dataDirs.find(':', start);
    if (colon == std::string_view::npos) colon = dataDirs.size();
    const fs::path dir = dataDirs.substr(start, colon - start);
    if (dir.is_absolute()) dirs.push_back(dir / "vantrel" / "roms");
    start = colon + 1;
  }
  dirs.emplace_back("/usr/share/spectrum-roms");
  return dirs;
}

std::vector<fs::path> FileResolver::Candidates(const fs::path& name) const {
  std::vector<fs::path> candidates;
  if (name.empty()) return candidates;
  candidates.push_back(name);
  // A rooted name means the same file wherever it is tried.
  if (name.has_root_path()) return candidates;
  if (!StartDirectory.empty()) candidates.push_back(StartDirectory / name);
  if (!ProgramDirectory.empty()) candidates.push_back(ProgramDirectory / name);
  for (const fs::path& dir : DataDirectories) {
    if (!dir.empty()) candidates.push_back(dir / name);
  }
  return candidates;
}

std::optional<fs::path> FileResolver::Resolve(const fs::path& name) const {
  for (const fs::path& candidate : Candidates(name)) {
    std::error_code error;
    if (fs::is_regular_file(candidate, error)) return candidate;
  }
  return std::nullopt;
}

FileResolver MakeRomFileResolver(fs::path startDirectory, fs::path programDirectory,
                                 const DataDirEnvironment& env) {
  return {std::move(startDirectory), std::move(programDirectory), RomDataDirectories(env)};
}

std::optional<RomSource> LoadRomPage(std::string_view reference, const FileResolver& resolver,
                                     RomBuffer buffer) {
  const RomReference parsed = ParseRomReference(reference);
  if (parsed.PageTooLarge) return std::nullopt;
  const std::optional<fs::path> file = resolver.Resolve(parsed.path);
  if (!file || !ReadPage(*file, parsed.Offset(), buffer)) return std::nullopt;
  return RomSource{*file, parsed.page};
}

std::optional<RomSource> LoadRomSlot(RomSlot slot, std::string_view reference,
                                     const FileResolver& resolver, RomBuffer buffer) {
  const std::string_view defaultReference = kDefaultRomReferences[static_cast<size_t>(slot)];
  const bool isDefault = reference.empty() || reference == defaultReference;
  if (reference.empty()) reference = defaultReference;
  if (auto source = LoadRomPage(reference, resolver, buffer)) return source;
  // A Pentagon.Rom that exists but lacks the page is the user's file to fix, not replace.
  if (!isDefault || resolver.Resolve(ParseRomReference(defaultReference).path)) {
    return std::nullopt;
  }
  for (std::string_view name : FallbackNames(slot)) {
    if (auto source = LoadRomPage(name, resolver, buffer)) return source;
  }
  return std::nullopt;
}

RomCheckResult CheckRoms(const std::array<std::string, kRomSlotCount>& references,
                         const FileResolver& resolver, Memory& memory) {
  RomCheckResult result;
  const std::array<uint8_t*, kRomSlotCount> buffers = {memory.Rom48k(), memory.Rom128k(),
                                                       memory.RomDOS()};
  for (int i = 0; i < kRomSlotCount; ++i) {
    const auto source = LoadRomSlot(static_cast<RomSlot>(i), references[i], resolver,
                                    RomBuffer(buffers[i], kRomPageSize));
    if (source) {
      result.slots[i] = RomSlotState::kLoaded;
      result.sources[i] = *source;
    } else {
      result.slots[i] = RomSlotState::kFailed;
      // Without a BASIC ROM nothing can run; without TR-DOS only the disk interface is lost.
      if (i != static_cast<int>(RomSlot::kTrDos)) break;
    }
  }

  const auto loaded = [&](RomSlot slot) {
    return result.slots[static_cast<size_t>(slot)] == RomSlotState::kLoaded;
  };
  result.TrDosAvailable = loaded(RomSlot::kTrDos);
  if (!loaded(RomSlot::k48kBasic) || !loaded(RomSlot::k128kBasic)) {
    result.outcome = RomCheckOutcome::kMissing;
    result.ShowMessage = true;
    result.OfferCancel = true;
    result.caption = kRomWarningCaption;
    result.message = kRomWarningText;
  } else if (!result.TrDosAvailable) {
    // The machine runs: a note, not a box that says it cannot and comes at every start
    // (the free ROMs most users start with have no TR-DOS).
    result.outcome = RomCheckOutcome::kReadyWithoutTrDos;
    result.message = kTrDosOffText;
  } else {
    result.outcome = RomCheckOutcome::kReady;
  }
  return result;
}

}  // namespace vantrel
