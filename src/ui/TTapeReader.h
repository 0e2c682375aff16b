#pragma once

#include <QWidget>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "app/Settings.h"
#include "tape/TapeImage.h"

class QAction;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QTimer;

namespace vantrel {

class Machine;
class TBlockSelectorF;
class TTzxMessager;

// "Tape Reader": the tape the machine holds, as a list of block descriptions, with the
// deck's Play, Stop, Rewind and Eject. The player (machine.Tape) is the one source of
// truth: a tape inserted by any command shows here. While the emulation thread runs,
// every change to the player goes through Machine::Apply; the window only polls the
// player's atomics, every 100 ms.
class TTapeReader : public QWidget {
  Q_OBJECT
 public:
  TTapeReader(Machine& machine, SettingsStore& store, QWidget* parent = nullptr);
  ~TTapeReader() override;

  // Writes the window's settings (at shutdown).
  void SaveSettings();
  // Whether the window was shown when the settings were last written.
  bool StoredShown() const;
  // Loads a tape as if its name had been typed into the location field; false when the
  // file was refused (the reason is the list's one red row).
  bool OpenTape(const QString& fileName);
  // The "&..." button: the file dialog, then the chosen file is loaded.
  void SelectFile();
  // Shows or hides the window; VisibilityChanged follows either way.
  void SetShown(bool shown);
  std::function<void(bool shown)> VisibilityChanged;
  // Called before the select dialog opens: the desktop must be reachable (no full screen,
  // the mouse released).
  std::function<void()> BeforeDialog;

  // "Record": while on, standard blocks the machine saves (its MIC output) are appended
  // to the tape in the window.
  void SetRecording(bool on);
  // "Save Tape As...": the tape in the window as TAP, or TZX when a block is not a
  // standard one; the extension follows the format. False when nothing was written.
  bool SaveTapeAs();
  // Asks for the file name to save under (a file dialog unless replaced, as tests do).
  std::function<QString(const QString& start)> AskSaveFileName;
  QPushButton* RecordButton() const { return record_; }
  QPushButton* SaveButton() const { return save_; }

  // One tick of the window timer (tests call it instead of waiting).
  void Tick();
  void SetBlockInfoMode(BlockInfoMode mode);
  BlockInfoMode InfoMode() const { return mode_; }

  QLineEdit* LocationEdit() const { return location_; }
  QPushButton* SelectFileButton() const { return selectFile_; }
  QListWidget* BlockList() const { return blockList_; }
  QPushButton* PlayButton() const { return play_; }
  QPushButton* StopButton() const { return stop_; }
  QPushButton* RewindButton() const { return rewind_; }
  QPushButton* EjectButton() const { return eject_; }
  QAction* BlockInfoAction(BlockInfoMode mode) const {
    return infoActions_[static_cast<int>(mode)];
  }
  QMenu* BlockListMenu() const { return popup_; }
  TTzxMessager& Messager() const { return *messager_; }
  TBlockSelectorF& BlockSelector() const { return *selector_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A copy of the machine's tape, fetched on the emulation thread at a frame end.
  struct Fetched {
    std::mutex Lock;
    std::optional<TapeCatalogue> Tape;
    uint32_t Serial = 0;
    std::atomic<uint32_t> ShownSerial{0};
    bool Pending = false;  // window thread only
  };

  void LoadTapeImage();
  void ShowTape(const TapeCatalogue& tape);
  void InsertIntoMachine(TapeCatalogue tape);
  void FollowMachineTape();
  void RowClicked(int row);
  void ChooseBlock(uint32_t block);
  void ShowPlaying(bool playing);
  void SelectBlockRow(uint32_t block);
  void RunSelectDialog(const std::vector<std::string>& texts, const std::vector<int16_t>& offsets);

  Machine& machine_;
  SettingsStore& store_;
  TapeReaderSettings settings_;
  BlockInfoMode mode_ = BlockInfoMode::Hexadecimal;
  // The shown tape: its kind, the first row of each block, and the last refusal.
  TapeKind kind_ = TapeKind::None;
  std::vector<uint32_t> blockRow_;
  TapeCatalogue shown_;  // the tape as the list shows it, for Save Tape As
  QString refusal_;
  bool lastPlaying_ = false;
  uint32_t lastBlock_ = 0;
  std::shared_ptr<Fetched> fetched_ = std::make_shared<Fetched>();

  QLineEdit* location_;
  QPushButton* selectFile_;
  QListWidget* blockList_;
  QPushButton* play_;
  QPushButton* stop_;
  QPushButton* rewind_;
  QPushButton* eject_;
  QPushButton* record_;
  QPushButton* save_;
  QMenu* popup_;
  std::array<QAction*, 3> infoActions_{};
  QTimer* timer_;
  TTzxMessager* messager_;
  TBlockSelectorF* selector_;
};

}  // namespace vantrel
