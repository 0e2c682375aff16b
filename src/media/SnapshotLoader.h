#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vantrel {

class Machine;

// A refusal by a snapshot loader or saver: the message box text and its caption. The
// command that started the work catches it and shows it.
struct SnapshotError : std::runtime_error {
  SnapshotError(const std::string& message, std::string_view caption)
      : std::runtime_error(message), Caption(caption) {}
  std::string Caption;
};

inline constexpr std::string_view kSnapshotLoadCaption = "  Snapshot loading error!";
inline constexpr std::string_view kSnapshotReadCaption = "Error!";
inline constexpr std::string_view kSnapshotReadFailed = "Can't load snapshot file.";
inline constexpr std::string_view kSnaFormatError =
    "This file is not SNA format snapshot file, check it!";
inline constexpr std::string_view kZ80FormatError = "Invalid Z80 snapshot file!";
inline constexpr std::string_view kZ80SamRamError =
    "Sorry! SamRam Hardware Mode not supported yet!";

// The only SNA sizes there are: 48K, and 128K with five or six further banks.
inline constexpr size_t kSna48Size = 49179;
inline constexpr size_t kSna128Size = 131103;
inline constexpr size_t kSna128LongSize = 147487;

enum class SnapshotKind : uint8_t { Sna, Z80 };

// Every loader assumes a stopped machine: the emulation thread has ended (StopEmulation),
// so no instruction is half done and nothing else touches the state. They change the
// registers, paging, border and RAM; redrawing the picture and refreshing the debugger
// views is the caller's. A refusal raises SnapshotError.

// Reads the file as named (the caller resolves the name first) and loads it by its
// extension (FileTypes). Unreadable: "Can't load snapshot file."; another extension: "File <name>
// has unsupported format!". Nothing changes in either case.
// An SZX file's refusal names the file; its result says what the file held that this
// machine lacks (empty when nothing was left out).
std::string LoadSnapshot(Machine& machine, const std::filesystem::path& fileName);

// A whole file image already in memory (also the entry point for fuzzing).
void LoadSnapshotBytes(Machine& machine, std::span<const uint8_t> file, SnapshotKind kind);
void LoadSna(Machine& machine, std::span<const uint8_t> file);
void LoadZ80(Machine& machine, std::span<const uint8_t> file);

// Expands Z80 block compression (ED ED count value is a run) from `input` until
// `destination` is full; returns how many input bytes were used. Raises "Invalid Z80
// snapshot file!" when a run overflows the destination or the input ends first; the bytes
// stored by then stay.
size_t UnpackZ80Block(std::span<const uint8_t> input, std::span<uint8_t> destination);

}  // namespace vantrel
