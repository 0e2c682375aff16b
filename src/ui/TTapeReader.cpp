#include "ui/TTapeReader.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>

#include "machine/Machine.h"
#include "media/TapeSaver.h"
#include "ui/TBlockSelectorF.h"
#include "ui/TTzxMessager.h"
#include "ui/WindowPlacement.h"

namespace vantrel {
namespace {

constexpr int kTimerIntervalMs = 100;

// Linux names are case-sensitive, and tapes come with every spelling of the extension.
const QString kTapeFileFilter = QStringLiteral(
    "All Tape Format Files (*.Tap *.tap *.TAP *.Tzx *.tzx *.TZX *.Csw *.csw *.CSW *.Pzx *.pzx "
    "*.PZX *.Wav *.wav *.WAV);;"
    "TAP File (*.Tap *.tap *.TAP);;TZX Format Files (*.Tzx *.tzx *.TZX);;"
    "CSW Format Files (*.Csw *.csw *.CSW);;PZX Format Files (*.Pzx *.pzx *.PZX);;"
    "WAV Format Files (*.Wav *.wav *.WAV)");

QPushButton* MakeButton(const QString& text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  return button;
}

}  // namespace

TTapeReader::TTapeReader(Machine& machine, SettingsStore& store, QWidget* parent)
    : QWidget(parent, Qt::Tool), machine_(machine), store_(store) {
  setObjectName(QStringLiteral("TapeReader"));
  setWindowTitle(QStringLiteral("Tape Reader"));
  // A panel beside the picture: showing it must not take the keys from the screen window.
  setAttribute(Qt::WA_ShowWithoutActivating);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  auto* fileRow = new QHBoxLayout;
  location_ = new QLineEdit(this);
  location_->setObjectName(QStringLiteral("LocationEdit"));
  selectFile_ = MakeButton(QStringLiteral("&..."), "SelectFileButton", this);
  selectFile_->setMaximumWidth(
      selectFile_->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
  fileRow->addWidget(location_, 1);
  fileRow->addWidget(selectFile_);
  layout->addLayout(fileRow);

  blockList_ = new QListWidget(this);
  blockList_->setObjectName(QStringLiteral("BlockList"));
  blockList_->setContextMenuPolicy(Qt::CustomContextMenu);
  blockList_->installEventFilter(this);
  layout->addWidget(blockList_, 1);

  auto* buttons = new QHBoxLayout;
  play_ = MakeButton(QStringLiteral("Play"), "PlayButton", this);
  stop_ = MakeButton(QStringLiteral("Stop"), "StopButton", this);
  rewind_ = MakeButton(QStringLiteral("Rewind"), "RewindButton", this);
  eject_ = MakeButton(QStringLiteral("Eject"), "EjectButton", this);
  for (QPushButton* button : {play_, stop_, rewind_, eject_}) buttons->addWidget(button);
  stop_->hide();
  layout->addLayout(buttons);
  auto* recordRow = new QHBoxLayout;
  record_ = MakeButton(QStringLiteral("Record"), "RecordButton", this);
  record_->setCheckable(true);
  record_->setToolTip(QStringLiteral("Append the blocks the machine saves to this tape"));
  save_ = MakeButton(QStringLiteral("Save Tape As..."), "SaveTapeButton", this);
  recordRow->addWidget(record_);
  recordRow->addWidget(save_);
  recordRow->addStretch();
  layout->addLayout(recordRow);
  resize(360, 300);

  popup_ = new QMenu(this);
  QMenu* info = popup_->addMenu(QStringLiteral("Block Info"));
  auto* group = new QActionGroup(this);
  const struct {
    const char* text;
    Qt::Key key;
  } modes[] = {{"&Hexadecimal", Qt::Key_H}, {"&Decimal", Qt::Key_D}, {"&None", Qt::Key_N}};
  for (int i = 0; i < 3; ++i) {
    QAction* action = info->addAction(QString::fromLatin1(modes[i].text));
    action->setShortcut(QKeySequence(Qt::CTRL | modes[i].key));
    action->setShortcutContext(Qt::WindowShortcut);
    action->setCheckable(true);
    group->addAction(action);
    addAction(action);  // the shortcuts work without opening the menu
    const auto mode = static_cast<BlockInfoMode>(i);
    connect(action, &QAction::triggered, this, [this, mode] { SetBlockInfoMode(mode); });
    infoActions_[i] = action;
  }
  connect(blockList_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { popup_->popup(blockList_->viewport()->mapToGlobal(at)); });

  messager_ = new TTzxMessager(this);
  selector_ = new TBlockSelectorF(this);

  connect(location_, &QLineEdit::textChanged, this, [this] { LoadTapeImage(); });
  connect(selectFile_, &QPushButton::clicked, this, &TTapeReader::SelectFile);
  connect(blockList_, &QListWidget::currentRowChanged, this, &TTapeReader::RowClicked);
  connect(play_, &QPushButton::clicked, this,
          [this] { machine_.Apply([&tape = machine_.Tape] { tape.PlayTape(); }); });
  connect(stop_, &QPushButton::clicked, this,
          [this] { machine_.Apply([&tape = machine_.Tape] { tape.StopTape(); }); });
  connect(rewind_, &QPushButton::clicked, this, [this] {
    rewind_->setEnabled(false);
    machine_.Apply([&tape = machine_.Tape] { tape.SetCurrentBlock(0); });
  });
  connect(record_, &QPushButton::toggled, this, &TTapeReader::SetRecording);
  connect(save_, &QPushButton::clicked, this, &TTapeReader::SaveTapeAs);
  AskSaveFileName = [this](const QString& start) {
    return QFileDialog::getSaveFileName(this, QStringLiteral("Save Tape As"), start,
                                        QStringLiteral("TAP File (*.tap);;TZX File (*.tzx)"));
  };
  connect(eject_, &QPushButton::clicked, this, [this] {
    // Loaded even when the field is already empty (a tape inserted without a file name).
    OpenTape(QString());
    eject_->setEnabled(false);
  });

  settings_ = LoadTapeReaderSettings(store_);
  mode_ = static_cast<BlockInfoMode>(settings_.BlockInfoMode);
  infoActions_[settings_.BlockInfoMode]->setChecked(true);
  OpenTape(QString::fromStdString(settings_.Location));
  RestorePosition(*this, {settings_.Position.X, settings_.Position.Y});

  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, &TTapeReader::Tick);
  timer_->start(kTimerIntervalMs);
}

TTapeReader::~TTapeReader() = default;

bool TTapeReader::StoredShown() const {
  return settings_.Enabled;
}

void TTapeReader::SaveSettings() {
  settings_.Enabled = isVisible();
  settings_.Location = location_->text().toStdString();
  const QPoint position = StoredPosition(*this);
  settings_.Position = {position.x(), position.y()};
  settings_.BlockInfoMode = static_cast<uint8_t>(mode_);
  // Each value written rewrites the settings file: unchanged values are not written again.
  if (settings_ != LoadTapeReaderSettings(store_)) SaveTapeReaderSettings(store_, settings_);
}

bool TTapeReader::OpenTape(const QString& fileName) {
  {
    const QSignalBlocker blocker(location_);
    location_->setText(fileName);
  }
  LoadTapeImage();
  return kind_ != TapeKind::None;
}

void TTapeReader::SelectFile() {
  QString start = QString::fromStdString(settings_.DefaultDir);
  if (!settings_.FileName.empty()) {
    start = QFileInfo(QDir(start), QString::fromStdString(settings_.FileName)).filePath();
  }
  const QString chosen = QFileDialog::getOpenFileName(this, QString(), start, kTapeFileFilter);
  if (chosen.isEmpty()) return;
  const QFileInfo file(chosen);
  settings_.FileName = file.fileName().toStdString();
  settings_.DefaultDir = file.absolutePath().toStdString();
  OpenTape(chosen);
}

void TTapeReader::SetShown(bool shown) {
  if (shown) {
    show();
    raise();
  } else {
    hide();
  }
  if (VisibilityChanged) VisibilityChanged(shown);
}

void TTapeReader::closeEvent(QCloseEvent* event) {
  event->accept();
  if (VisibilityChanged) VisibilityChanged(false);
}

void TTapeReader::SetBlockInfoMode(BlockInfoMode mode) {
  infoActions_[static_cast<int>(mode)]->setChecked(true);
  if (mode == mode_) return;
  mode_ = mode;
  // The descriptions are built by the readers, so the tape is read again.
  LoadTapeImage();
}

void TTapeReader::LoadTapeImage() {
  TapeCatalogue tape;
  try {
    tape = vantrel::LoadTapeImage(location_->text().toStdString(), mode_);
    refusal_.clear();
  } catch (const TapeError& refusal) {
    refusal_ = QString::fromUtf8(refusal.what());
  }
  ShowTape(tape);
  InsertIntoMachine(std::move(tape));
}

void TTapeReader::SetRecording(bool on) {
  {
    const QSignalBlocker blocker(record_);
    record_->setChecked(on);
  }
  machine_.Recorder.SetRecording(on);
}

bool TTapeReader::SaveTapeAs() {
  if (shown_.BlockCount() == 0) {
    QMessageBox::warning(this, QStringLiteral(" Error!"),
                         QStringLiteral("The tape holds no blocks to save."));
    return false;
  }
  QString start = QString::fromStdString(settings_.DefaultDir);
  const QString chosen = AskSaveFileName ? AskSaveFileName(start) : QString();
  if (chosen.isEmpty()) return false;
  std::filesystem::path path = chosen.toStdString();
  path.replace_extension(TapeSaveExtension(shown_));
  try {
    SaveTapeFile(shown_, path);
  } catch (const TapeError& failure) {
    QMessageBox::warning(this, QStringLiteral(" Error!"), QString::fromUtf8(failure.what()));
    return false;
  }
  return true;
}

void TTapeReader::ShowTape(const TapeCatalogue& tape) {
  shown_ = tape;
  const QSignalBlocker blocker(blockList_);
  blockList_->clear();
  kind_ = tape.Kind;
  blockRow_ = tape.BlockRow;
  const bool loaded = kind_ != TapeKind::None;
  QPalette palette = blockList_->palette();
  palette.setColor(QPalette::Text, loaded ? Qt::black : Qt::red);
  blockList_->setPalette(palette);
  if (loaded) {
    for (const std::string& row : tape.Rows) blockList_->addItem(QString::fromStdString(row));
  } else {
    blockList_->addItem(refusal_);
  }
  blockList_->setCurrentRow(0);
  lastBlock_ = 0;
  lastPlaying_ = false;
  play_->setEnabled(loaded);
  ShowPlaying(false);
}

void TTapeReader::InsertIntoMachine(TapeCatalogue tape) {
  auto shared = std::make_shared<TapeCatalogue>(std::move(tape));
  machine_.Apply([&player = machine_.Tape, shared, fetched = fetched_] {
    player.InsertTape(std::move(*shared));
    fetched->ShownSerial.store(player.TapeSerial(), std::memory_order_relaxed);
  });
}

void TTapeReader::FollowMachineTape() {
  // Another command inserted a tape: a copy is taken at the next frame end and shown here,
  // described in this window's mode.
  const uint32_t serial = machine_.Tape.TapeSerial();
  std::optional<TapeCatalogue> tape;
  {
    const std::lock_guard lock(fetched_->Lock);
    if (fetched_->Tape) {
      // A copy overtaken by a later insertion is dropped; the next tick fetches again.
      if (fetched_->Serial == serial) tape = std::move(*fetched_->Tape);
      fetched_->Tape.reset();
      fetched_->Pending = false;
    }
  }
  if (tape) {
    if (tape->Kind != TapeKind::None) {
      try {
        TapeCatalogue described = ReadTape(tape->Kind, tape->TapeImage, mode_);
        described.Location = tape->Location;
        tape = std::move(described);
      } catch (const TapeError&) {
        // Accepted once, so only the descriptions could differ: they stay as they came.
      }
      const QSignalBlocker blocker(location_);
      location_->setText(QString::fromStdString(tape->Location));
      refusal_.clear();
    }
    ShowTape(*tape);
    fetched_->ShownSerial.store(serial, std::memory_order_relaxed);
    return;
  }
  if (fetched_->Pending || serial == fetched_->ShownSerial.load(std::memory_order_relaxed)) return;
  fetched_->Pending = true;
  machine_.ApplyUnseen([&player = machine_.Tape, fetched = fetched_] {
    const std::lock_guard lock(fetched->Lock);
    fetched->Tape = player.Tape();
    fetched->Serial = player.TapeSerial();
  });
}

void TTapeReader::Tick() {
  // A recorded block ends when its signal stops: the recorder looks at each tick.
  if (machine_.Recorder.Recording()) {
    machine_.Apply([&recorder = machine_.Recorder] { recorder.Flush(); });
  }
  FollowMachineTape();
  TapePlayer& player = machine_.Tape;
  const bool playing = player.Playing();
  if (playing != lastPlaying_) {
    lastPlaying_ = playing;
    ShowPlaying(playing);
  }
  if (player.TakeCaptionChanged()) setWindowTitle(QString::fromStdString(player.CaptionText()));
  const uint32_t block = player.CurrentBlock();
  if (block != lastBlock_) {
    lastBlock_ = block;
    SelectBlockRow(block);
  }
  if (const auto message = player.TakeMessage()) {
    messager_->ShowMessage(QString::fromStdString(message->MessageText), message->MessageSeconds);
  }
  if (const auto select = player.TakeSelect()) {
    RunSelectDialog(select->SelectTexts, select->SelectOffsets);
  }
}

void TTapeReader::ShowPlaying(bool playing) {
  // While the tape plays the image must not change under the player.
  play_->setVisible(!playing);
  stop_->setVisible(playing);
  for (QWidget* widget : {static_cast<QWidget*>(location_), static_cast<QWidget*>(selectFile_),
                          static_cast<QWidget*>(blockList_)}) {
    widget->setEnabled(!playing);
  }
  eject_->setEnabled(!playing && kind_ != TapeKind::None);
  rewind_->setEnabled(!playing && blockList_->currentRow() > 0);
  // A new mode reloads the tape, so the shortcuts wait as the list's menu does.
  for (QAction* action : infoActions_) action->setEnabled(!playing);
}

void TTapeReader::SelectBlockRow(uint32_t block) {
  if (blockRow_.empty()) return;
  // Past the last block the list keeps the last block selected.
  block = std::min<uint32_t>(block, static_cast<uint32_t>(blockRow_.size()) - 1);
  const QSignalBlocker blocker(blockList_);
  blockList_->setCurrentRow(static_cast<int>(blockRow_[block]));
}

void TTapeReader::RowClicked(int row) {
  if (row < 0 || kind_ == TapeKind::None || blockRow_.empty()) return;
  // A TZX block may own several rows: the block is the last one starting at or before it.
  const auto after =
      std::upper_bound(blockRow_.begin(), blockRow_.end(), static_cast<uint32_t>(row));
  ChooseBlock(static_cast<uint32_t>(std::max<ptrdiff_t>(after - blockRow_.begin() - 1, 0)));
}

void TTapeReader::ChooseBlock(uint32_t block) {
  rewind_->setEnabled(block != 0);
  machine_.Apply([&player = machine_.Tape, block] { player.SetCurrentBlock(block); });
}

bool TTapeReader::eventFilter(QObject* watched, QEvent* event) {
  // On a TZX or PZX tape Down moves by whole blocks; the timer then selects the block's
  // first row.
  if (watched == blockList_ && event->type() == QEvent::KeyPress &&
      (kind_ == TapeKind::Tzx || kind_ == TapeKind::Pzx) &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Down) {
    const int row = blockList_->currentRow();
    const auto after = std::upper_bound(blockRow_.begin(), blockRow_.end(),
                                        static_cast<uint32_t>(std::max(row, 0)));
    const auto block = static_cast<uint32_t>(after - blockRow_.begin());  // the next block
    if (block < blockRow_.size()) ChooseBlock(block);
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TTapeReader::RunSelectDialog(const std::vector<std::string>& texts,
                                  const std::vector<int16_t>& offsets) {
  if (BeforeDialog) BeforeDialog();
  // The dialog's own event loop must not re-enter the timer.
  timer_->stop();
  const int choice = selector_->Choose(texts);
  timer_->start(kTimerIntervalMs);
  if (choice == TBlockSelectorF::kNoChoice || choice >= static_cast<int>(offsets.size())) return;
  const int16_t offset = offsets[static_cast<size_t>(choice)];
  machine_.Apply([&player = machine_.Tape, offset] { player.ContinueFromSelect(offset); });
}

}  // namespace vantrel
