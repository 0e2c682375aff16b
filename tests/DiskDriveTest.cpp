#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

#include "TempDir.h"
#include "TestData.h"
#include "app/DiskDrive.h"
#include "machine/Machine.h"

namespace vantrel {
namespace {

namespace fs = std::filesystem;

// The question is put only for a changed disk; the caller goes on after No, or after Yes
// once the save has succeeded, and never after Cancel or a save that did not happen.
TEST(DiskDriveTest, ChangedDisksAreSavedDroppedOrKeptAsAnswered) {
  struct Case {
    bool modified;
    SaveChangesAnswer answer;
    bool saves;  // the save dialog's outcome
    bool asked, saveTried, proceeds;
  } const cases[] = {
      {false, SaveChangesAnswer::Cancel, false, false, false, true},
      {true, SaveChangesAnswer::Yes, true, true, true, true},
      {true, SaveChangesAnswer::Yes, false, true, true, false},
      {true, SaveChangesAnswer::No, false, true, false, true},
      {true, SaveChangesAnswer::Cancel, true, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.modified << static_cast<int>(c.answer) << c.saves);
    bool asked = false, saveTried = false, proceeded = false;
    ReleaseDisk(
        c.modified, [&] { return asked = true, c.answer; },
        [&](std::function<void()> saved) {
          saveTried = true;
          if (c.saves) saved();
        },
        [&] { proceeded = true; });
    EXPECT_EQ(std::tuple(asked, saveTried, proceeded),
              std::tuple(c.asked, c.saveTried, c.proceeds));
  }
}

// While a run goes on, the drive's disk is replaced and copied for saving only between two
// steps (the frame end runs the queued commands). The disk counts as saved from the copy
// on; a failed write marks it changed again unless another disk has come in meanwhile.
TEST(DiskDriveTest, ARunningMachineSwapsAndCopiesItsDiskBetweenTwoSteps) {
  test::TempDir dir;
  for (const bool fails : {false, true}) {
    for (const bool replacedMeanwhile : {false, true}) {
      SCOPED_TRACE(testing::Message() << fails << replacedMeanwhile);
      Machine machine(1);
      DiskDrive drive(machine);
      machine.State.EmulThreadAlive = true;
      const FloppyDisk* before = machine.Disks[0].get();
      drive.CreateBlank();
      EXPECT_EQ(machine.Disks[0].get(), before);
      machine.Commands.RunPending();
      FloppyDisk* blank = machine.Disks[0].get();
      ASSERT_NE(blank, before);
      blank->SetModified();
      const fs::path file = dir.path() / (fails ? "missing/x.udi" : "x.udi");
      std::vector<std::function<void()>> posted;
      std::optional<std::optional<DiskError>> outcome;
      drive.Save(
          file, true, [&](std::function<void()> write) { posted.push_back(write); },
          [&](const std::optional<DiskError>& failure) { outcome = failure; });
      EXPECT_TRUE(posted.empty());
      machine.Commands.RunPending();  // the frame end: the copy
      ASSERT_EQ(posted.size(), 1u);
      EXPECT_FALSE(blank->Modified());
      EXPECT_TRUE(blank->WriteProtected());
      if (replacedMeanwhile) drive.CreateBlank();
      posted[0]();  // back on the window thread: the write
      ASSERT_TRUE(outcome.has_value());
      EXPECT_EQ(outcome->has_value(), fails);
      EXPECT_EQ(fs::exists(file), !fails);
      EXPECT_EQ(blank->Modified(), fails && !replacedMeanwhile);
      EXPECT_EQ(drive.Modified(), fails && !replacedMeanwhile);  // never the newcomer
    }
  }
}

}  // namespace
}  // namespace vantrel
