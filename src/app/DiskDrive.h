#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "disk/DiskError.h"
#include "disk/DiskImageFiles.h"

namespace vantrel {

class Machine;

// The TR-DOS page's boot settings as the options of a load (its questions are the caller's).
DiskOpenOptions DiskOpenOptionsFrom(const TrDosSetting& trDos);

// "No Disk Image Error" keeps the cannot-be-opened messages quiet; every other refusal shows.
bool ShowsDiskError(const DiskError& error, const TrDosSetting& trDos);

// The disk reopened at start-up: the one last opened or saved, unless a disk named on the
// command line is about to take its place (a missing old file would only raise an error).
std::optional<std::filesystem::path> DiskToReopen(const MainWindowSettings& settings,
                                                  bool commandLineNamesDisk);

enum class SaveChangesAnswer : uint8_t { Yes, No, Cancel };

// Before the disk in drive A is replaced or the program ends. A disk the machine has
// written to since it was opened or saved is not dropped silently: `ask` puts the
// question; Yes hands `proceed` to `save`, which calls it once the disk is saved (never
// when the user cancels or the save fails); No drops the changes; Cancel keeps everything.
// An unchanged disk proceeds at once.
void ReleaseDisk(bool modified, const std::function<SaveChangesAnswer()>& ask,
                 const std::function<void(std::function<void()> proceed)>& save,
                 std::function<void()> proceed);

// The drive letter of drive 0 to 3: 'A' to 'D'.
inline char DriveLetter(int drive) {
  return static_cast<char>('A' + drive);
}

// One drive (A to D) as the program uses it: opens, creates and saves disks and keeps the
// remembered geometry. The disk is replaced between two steps of the machine (Machine::Apply),
// never while the controller reads its tracks. All calls come from one thread, the one that starts
// runs; during a run the disk it last handed over stays alive until it hands over the next, so its
// flags (atomics) may be read here at any time.
class DiskDrive {
 public:
  explicit DiskDrive(Machine& machine, int drive = 0);
  int Index() const { return drive_; }

  // Opens a disk image file. Raises DiskError with nothing changed; false when there was
  // nothing to open (not a disk extension, or a question was cancelled).
  bool Open(const std::filesystem::path& fileName, const DiskOpenOptions& options);
  // A blank formatted TR-DOS disk of 80 cylinders and two sides.
  void CreateBlank();
  void Insert(std::unique_ptr<FloppyDisk> disk);

  // The outcome of a save: nullopt when written, else why not.
  using SaveDone = std::function<void(const std::optional<DiskError>& failure)>;
  // Writes the disk in the drive as TRD, FDI or UDI (by the extension), with the given
  // write-protect flag, which the drive's disk takes too. No run: at once. A running machine
  // is copied between two steps and `post` carries the writing to this thread, so a slow
  // file system never holds the machine. `done` is called on this thread either way.
  void Save(const std::filesystem::path& fileName, bool writeProtect,
            const std::function<void(std::function<void()>)>& post, SaveDone done);

  // An empty drive (B to D before a disk goes in) is neither changed nor protected, and
  // saving it fails, naming the drive.
  bool HasDisk();
  bool Modified();
  bool WriteProtected();
  // What a TRD (or SCL) file of the disk in the drive would lose (TrdSaveLosses): none for
  // an empty drive. No run: at once. A running machine's disk is checked between two
  // steps and `post` carries the answer to this thread.
  void CheckSaveLosses(const std::function<void(std::function<void()>)>& post,
                       std::function<void(std::vector<std::string>)> done);
  // The write-protect tab of the disk in the drive; the controller sees it at once.
  void SetWriteProtected(bool on);
  RememberedGeometry Geometry;

 private:
  FloppyDisk* Current();

  Machine& machine_;
  int drive_;
  FloppyDisk* inDrive_;
  uint64_t inserted_ = 0;  // counts Insert calls, so a late save failure finds its disk
};

}  // namespace vantrel
