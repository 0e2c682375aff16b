#include "app/DiskDrive.h"

#include <atomic>
#include <utility>

#include "disk/TrdCheck.h"
#include "machine/Machine.h"

namespace vantrel {

namespace fs = std::filesystem;

namespace {

std::shared_ptr<FloppyDisk> CopyOf(const FloppyDisk& disk) {
  auto copy = std::make_shared<FloppyDisk>();
  copy->Tracks = disk.Tracks;
  copy->SetWriteProtected(disk.WriteProtected());
  copy->SetModified(disk.Modified());
  return copy;
}

std::optional<DiskError> Write(const fs::path& fileName, FloppyDisk& disk,
                               const RememberedGeometry& geometry) {
  try {
    if (SaveDiskImage(fileName, disk, geometry)) return std::nullopt;
    // Hobeta files are read only: nothing was written.
    return DiskError("Disk images are saved as TRD, SCL, FDI or UDI files only.",
                     kDiskErrorCaption);
  } catch (const DiskError& failure) {
    return failure;
  }
}

}  // namespace

DiskOpenOptions DiskOpenOptionsFrom(const TrDosSetting& trDos) {
  DiskOpenOptions options;
  options.BootTrd = trDos.BootTrd;
  options.BootScl = trDos.BootScl;
  options.BootFileName = trDos.BootFileName;
  return options;
}

bool ShowsDiskError(const DiskError& error, const TrDosSetting& trDos) {
  return !(error.CannotOpen && trDos.NoDiskImageError);
}

std::optional<fs::path> DiskToReopen(const MainWindowSettings& settings,
                                     bool commandLineNamesDisk) {
  if (commandLineNamesDisk || settings.DiskAFileName.empty()) return std::nullopt;
  return fs::path(settings.DiskAFileName);
}

void ReleaseDisk(bool modified, const std::function<SaveChangesAnswer()>& ask,
                 const std::function<void(std::function<void()>)>& save,
                 std::function<void()> proceed) {
  if (!modified) {
    proceed();
    return;
  }
  switch (ask()) {
    case SaveChangesAnswer::Yes: save(std::move(proceed)); break;
    case SaveChangesAnswer::No: proceed(); break;
    case SaveChangesAnswer::Cancel: break;
  }
}

DiskDrive::DiskDrive(Machine& machine, int drive)
    : machine_(machine), drive_(drive), inDrive_(machine.Disks[drive].get()) {}

bool DiskDrive::Open(const fs::path& fileName, const DiskOpenOptions& options) {
  std::unique_ptr<FloppyDisk> disk = OpenDiskImage(fileName, options, Geometry);
  if (!disk) return false;
  Insert(std::move(disk));
  return true;
}

void DiskDrive::CreateBlank() {
  Insert(CreateBlankDisk());
}

void DiskDrive::Insert(std::unique_ptr<FloppyDisk> disk) {
  if (!disk) disk = std::make_unique<FloppyDisk>();
  inDrive_ = disk.get();
  ++inserted_;
  // std::function needs a copyable command; the disk goes to the machine once.
  auto held = std::make_shared<std::unique_ptr<FloppyDisk>>(std::move(disk));
  Machine& machine = machine_;
  const int drive = drive_;
  machine.Apply([&machine, held, drive] { machine.InsertDisk(std::move(*held), drive); });
}

FloppyDisk* DiskDrive::Current() {
  // Without a run nothing is queued and the machine's own disk is the one in the drive,
  // however it got there.
  if (!machine_.State.EmulThreadAlive.load(std::memory_order_relaxed)) {
    inDrive_ = machine_.Disks[drive_].get();
  }
  return inDrive_;
}

bool DiskDrive::HasDisk() {
  return Current() != nullptr;
}

bool DiskDrive::Modified() {
  return HasDisk() && Current()->Modified();
}

bool DiskDrive::WriteProtected() {
  return HasDisk() && Current()->WriteProtected();
}

void DiskDrive::SetWriteProtected(bool on) {
  if (FloppyDisk* disk = Current()) disk->SetWriteProtected(on);
}

void DiskDrive::CheckSaveLosses(const std::function<void(std::function<void()>)>& post,
                                std::function<void(std::vector<std::string>)> done) {
  FloppyDisk* disk = Current();
  if (disk == nullptr || !machine_.State.EmulThreadAlive.load(std::memory_order_relaxed)) {
    done(disk ? TrdSaveLosses(*disk) : std::vector<std::string>{});
    return;
  }
  Machine& machine = machine_;
  const int drive = drive_;
  machine.Apply([&machine, drive, post, done] {
    const FloppyDisk* inDrive = machine.Disks[drive].get();
    auto losses = inDrive ? TrdSaveLosses(*inDrive) : std::vector<std::string>{};
    post([done, losses] { done(losses); });
  });
}

void DiskDrive::Save(const fs::path& fileName, bool writeProtect,
                     const std::function<void(std::function<void()>)>& post, SaveDone done) {
  FloppyDisk* disk = Current();
  if (disk == nullptr) {
    done(DiskError(std::string("Drive ") + DriveLetter(drive_) + " holds no disk to save.",
                   kDiskErrorCaption));
    return;
  }
  disk->SetWriteProtected(writeProtect);
  if (!machine_.State.EmulThreadAlive.load(std::memory_order_relaxed)) {
    done(Write(fileName, *disk, Geometry));
    return;
  }
  // The copy is taken between two steps and the drive's disk counts as saved from then on;
  // a failed write marks it changed again, unless another disk has taken its place.
  const uint64_t serial = inserted_;
  auto finish = [this, fileName, serial, done](std::shared_ptr<FloppyDisk> copy) {
    const bool wasModified = copy->Modified();
    std::optional<DiskError> failure = Write(fileName, *copy, Geometry);
    if (failure && wasModified && serial == inserted_) {
      inDrive_->SetModified(true);
    }
    done(failure);
  };
  Machine& machine = machine_;
  const int drive = drive_;
  machine.Apply([&machine, drive, post, finish] {
    FloppyDisk& inDrive = *machine.Disks[drive];
    std::shared_ptr<FloppyDisk> copy = CopyOf(inDrive);
    inDrive.SetModified(false);
    post([finish, copy] { finish(copy); });
  });
}

}  // namespace vantrel
