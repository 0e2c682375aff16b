#pragma once

#include <QDialog>

#include "app/RomImages.h"
#include "app/Settings.h"
#include "video/BorderSize.h"

class QDialogButtonBox;
class QPushButton;
class QTabWidget;

namespace vantrel {

class JoystickOptionsPage;
class MemoryOptionsPage;
class MouseOptionsPage;
class PortsOptionsPage;
class RomsOptionsPage;
class SettingsStore;
class SoundOptionsPage;
class StartupOptionsPage;
class TRomNavigatorForm;
class TrDosOptionsPage;
class VideoOptionsPage;

// "Options": the hardware and screen settings on eight pages. The pages edit a copy;
// nothing reaches the machine or the windows until OK, so Cancel leaves everything as it
// was. Saving or deleting a border preset is the exception: it writes the store at once.
class TConfigForm : public QDialog {
  Q_OBJECT
 public:
  // The page order of the "&Options" menu.
  enum Page {
    kVideoPage = 0,
    kPortsPage,
    kStartupPage,
    kRomsPage,
    kTrDosPage,
    kMemoryPage,
    kMousePage,
    kSoundPage,
    kJoystickPage,
    kPageCount
  };

  struct Values {
    HardwareSettings Hardware;
    ScreenPanelSettings Screen;
    BorderSizes Border;  // the sizes in force
  };

  TConfigForm(SettingsStore& store, FileResolver resolver, QWidget* parent = nullptr);
  ~TConfigForm() override;

  // Fills every page from the settings in force.
  void Load(const Values& values);
  // The loaded values with every page's edits applied.
  Values Result() const;
  void ShowPage(int page);

  QTabWidget* Pages() const { return pages_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }
  VideoOptionsPage* Video() const { return video_; }
  PortsOptionsPage* Ports() const { return ports_; }
  StartupOptionsPage* Startup() const { return startup_; }
  RomsOptionsPage* Roms() const { return roms_; }
  TrDosOptionsPage* TrDos() const { return trDos_; }
  MemoryOptionsPage* Memory() const { return memory_; }
  MouseOptionsPage* Mouse() const { return mouse_; }
  SoundOptionsPage* Sound() const { return sound_; }
  JoystickOptionsPage* Joystick() const { return joystick_; }
  TRomNavigatorForm* Navigator() const { return navigator_; }

 private:
  void OpenNavigator();

  Values loaded_;
  QTabWidget* pages_;
  QPushButton* ok_;
  QPushButton* cancel_;
  VideoOptionsPage* video_;
  PortsOptionsPage* ports_;
  StartupOptionsPage* startup_;
  RomsOptionsPage* roms_;
  TrDosOptionsPage* trDos_;
  MemoryOptionsPage* memory_;
  MouseOptionsPage* mouse_;
  SoundOptionsPage* sound_;
  JoystickOptionsPage* joystick_;
  TRomNavigatorForm* navigator_;
};

}  // namespace vantrel
