#include "ui/TScreenPanel.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QSaveFile>
#include <QScreen>
#include <QStandardPaths>
#include <algorithm>
#include <cassert>
#include <cstring>

#include "app/SettingsStore.h"
#include "app/TKeyThread.h"
#include "machine/Machine.h"
#include "media/SnapshotSaver.h"
#include "platform/PictureSurface.h"
#include "platform/QtKeyboard.h"
#include "ui/WindowPlacement.h"
#include "video/FullScreenPicture.h"

namespace vantrel {

namespace {

constexpr int kPageCount = 3;

// A tool window with a caption and no close box.
constexpr Qt::WindowFlags kWindowedFlags{Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint};

int Scale(bool doubleSize) {
  return doubleSize ? 2 : 1;
}

// The renderer clamps the same way; the window keeps its own copy so that it never
// reads the renderer while the emulation thread may be changing it.
BorderSizes Clamped(const BorderSizes& sizes) {
  return {std::clamp(sizes.Left, 0, kMaxBorderSide), std::clamp(sizes.Right, 0, kMaxBorderSide),
          std::clamp(sizes.Upper, 0, kMaxBorderTopBottom),
          std::clamp(sizes.Lower, 0, kMaxBorderTopBottom)};
}

}  // namespace

QString FullScreenErrorText(const FullScreenError& error) {
  static const char* const kMessages[] = {
      "Can not create DirectDraw object!",
      "Can not set DirectDraw object Cooperative Level!",
      "Can not create DirectDraw Primary Surface!",
      "Can not create DirectDraw Secondary Surface!",
      "Can not create palette!",
      "Can not get attached surface!",
      "Can not set palette!",
      "Can not set display mode!",
      "Can not lock surface!",
  };
  const int index = std::clamp(error.Code, 1, 9) - 1;
  return QString::fromLatin1(kMessages[index]) + QStringLiteral("\nFunction '") + error.Function +
         QStringLiteral("' return result code ") +
         QStringLiteral("%1").arg(error.Result, 8, 16, QLatin1Char('0')).toUpper() +
         QStringLiteral("h.");
}

QString ScreenCaption(ScreenPage page, bool showFps, uint32_t fps) {
  QString caption = QStringLiteral("Screen ");
  if (page == ScreenPage::First) caption += QStringLiteral("RAM5 ");
  if (page == ScreenPage::Second) caption += QStringLiteral("RAM7 ");
  if (showFps) caption += QStringLiteral("(FPS %1)").arg(fps);
  return caption;
}

QSize ScreenClientSize(const BorderSizes& sizes, bool doubleSize) {
  const VisibleRect visible = VisibleRectFor(Clamped(sizes));
  const int scale = Scale(doubleSize);
  return {visible.Width * scale + 2 * kScreenBevel, visible.Height * scale + 2 * kScreenBevel};
}

QPoint FitScreenPanelPosition(const WindowPosition& stored, const QRect& desktop) {
  // Right and bottom as the first pixel outside the desktop.
  const int64_t right = int64_t{desktop.x()} + desktop.width();
  const int64_t bottom = int64_t{desktop.y()} + desktop.height();
  QPoint position(stored.X, stored.Y);
  if (stored.Y > bottom - 50) position.setY(20);
  if (stored.X > right - 40) position.setX(20);
  return position;
}

TScreenPanel::TScreenPanel(Machine& machine, SettingsStore& store, KeyRequests& requests,
                           QWidget* parent)
    : QWidget(parent, kWindowedFlags), machine_(machine), store_(store), requests_(requests) {
  setObjectName(QStringLiteral("ScreenPanel"));
  setFocusPolicy(Qt::StrongFocus);
  // Every pixel of the paint area is drawn: the bevel and the picture.
  setAttribute(Qt::WA_OpaquePaintEvent);
  // Where the display system can take the picture directly, a child window of its own
  // shows it from the first frame on; otherwise paintEvent draws it.
  surface_ = PictureSurface::Create(this);
  if (surface_ != nullptr) surface_->hide();
  presenter_ = std::make_unique<ScreenPresenter>(surface_);

  // Nothing else changes these, and no emulation thread runs while the windows are built.
  borderSizes_ = machine_.Screen.GetBorderSizes();
  attributes_ = machine_.Screen.Attributes();
  mode_ = machine_.Screen.GetRenderingMode();

  // Called on the presenting thread: asks for one repaint however many frames arrive
  // before the window thread gets to it.
  presenter_->Mailbox().SetNotify([this] {
    if (!repaintPending_.exchange(true, std::memory_order_acq_rel)) {
      QMetaObject::invokeMethod(this, &TScreenPanel::FrameArrived, Qt::QueuedConnection);
    }
  });
  machine_.ApplyUnseen([&screen = machine_.Screen, presenter = presenter_.get()] {
    screen.SetPresenter(presenter);
  });

  const ScreenPanelSettings loaded = LoadScreenPanelSettings(store_);
  BuildMenu();
  ApplySettings(loaded);
  RestorePosition(*this, {loaded.Position.X, loaded.Position.Y});
  setAcceptDrops(true);
  AskScreenshotFileName = [this](const QString& proposed) {
    return QFileDialog::getSaveFileName(this, QStringLiteral(" Save Screenshot"), proposed,
                                        QStringLiteral("PNG Images (*.png)"));
  };
  ShowError = [this](const QString& caption, const QString& text) {
    QMessageBox::critical(this, caption, text);
  };
  machine_.ApplyUnseen([&screen = machine_.Screen] {
    screen.RedrawAll();
    screen.PresentFrame();
  });
  UpdateScreenCaption();
}

TScreenPanel::~TScreenPanel() {
  if (!settingsSaved_) SaveSettings();
  // A queued removal would leave the thread presenting into a dead presenter.
  assert(!machine_.State.EmulThreadAlive.load(std::memory_order_relaxed));
  machine_.ApplyUnseen([&screen = machine_.Screen] { screen.SetPresenter(nullptr); });
}

ScreenPanelSettings TScreenPanel::CurrentSettings() const {
  ScreenPanelSettings s = settings_;
  s.ShowFps = requests_.ShowFps.load(std::memory_order_relaxed);
  s.ScreenPage = static_cast<uint8_t>(page_);
  // At full screen the window's own place is the one it goes back to.
  const QPoint position = fullScreen_ ? windowedGeometry_.topLeft() : StoredPosition(*this);
  s.Position = {position.x(), position.y()};
  return s;
}

void TScreenPanel::SaveSettings() {
  SaveScreenPanelSettings(store_, CurrentSettings());
  settingsSaved_ = true;
}

void TScreenPanel::ApplySettings(const ScreenPanelSettings& settings) {
  settings_ = settings;
  settings_.FlashFrequency = std::max(settings_.FlashFrequency, int32_t{1});
  requests_.ShowFps.store(settings.ShowFps, std::memory_order_relaxed);
  page_ = static_cast<ScreenPage>(std::min<int>(settings.ScreenPage, kPageCount - 1));
  ApplyRendererSettings();
  RefreshMenuChecks();
  ResizeScreenWindow();
  UpdateScreenCaption();
}

void TScreenPanel::ApplyRendererSettings() {
  machine_.ApplyUnseen([&screen = machine_.Screen, flash = settings_.FlashFrequency, page = page_,
                        gray = settings_.GrayPalette] {
    screen.SetFlashFrequency(flash);
    screen.SetScreenPage(page);
    if (screen.GrayPalette() != gray) {
      screen.SetGrayPalette(gray);
      screen.RecreateScreen();
    }
  });
}

void TScreenPanel::SetBorderSizes(const BorderSizes& sizes) {
  borderSizes_ = Clamped(sizes);
  machine_.ApplyUnseen(
      [&screen = machine_.Screen, sizes = borderSizes_] { screen.SetBorderSizes(sizes); });
  ResizeScreenWindow();
}

void TScreenPanel::ResizeScreenWindow() {
  if (fullScreen_) return;  // the windowed size is set again on leaving
  setFixedSize(ScreenClientSize(borderSizes_, settings_.DoubleSize));
  // The picture keeps the whole native frame and the cut is made here, so a full repaint
  // shows the new border at once.
  presenter_->SetCut(VisibleRectFor(borderSizes_), Scale(settings_.DoubleSize),
                     QPoint(kScreenBevel, kScreenBevel));
  update();
  UseSurface(true);
}

// Windowed, the surface takes the frames; at full screen the window paints them.
void TScreenPanel::UseSurface(bool on) {
  if (surface_ == nullptr || presenter_->UseSurface(on)) return;
  // No buffer to be had: the window paints the picture itself from now on.
  delete surface_;
  surface_ = nullptr;
  update();
}

void TScreenPanel::SetDoubleSize(bool on) {
  settings_.DoubleSize = on;
  RefreshMenuChecks();
  ResizeScreenWindow();
}

void TScreenPanel::SelectScreenPage(ScreenPage page) {
  if (page == page_) return;
  page_ = page;
  machine_.ApplyUnseen([&screen = machine_.Screen, page] { screen.SetScreenPage(page); });
  RefreshMenuChecks();
}

void TScreenPanel::UpdateScreenCaption() {
  const bool showFps = requests_.ShowFps.load(std::memory_order_relaxed);
  const uint32_t fps = showFps && FramesPerSecond ? FramesPerSecond() : 0;
  if (captionValid_ && showFps == captionShowFps_ && fps == captionFps_ && page_ == captionPage_) {
    return;
  }
  captionValid_ = true;
  captionShowFps_ = showFps;
  captionFps_ = fps;
  captionPage_ = page_;
  setWindowTitle(ScreenCaption(page_, showFps, fps));
}

// ---------------------------------------------------------------------------------------
// The pop-up menu.

void TScreenPanel::BuildMenu() {
  menu_ = new QMenu(this);
  menu_->setObjectName(QStringLiteral("ScreenPM"));
  const auto item = [](QMenu* menu, const QString& text, const char* name) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    action->setCheckable(true);
    return action;
  };

  doubleSizeItem_ = item(menu_, QStringLiteral("&Double Size"), "DoubleSizeMI");
  connect(doubleSizeItem_, &QAction::triggered, this, [this] {
    requests_.ScreenMenuOpen.store(false, std::memory_order_relaxed);
    SetDoubleSize(!settings_.DoubleSize);
  });

  attributesItem_ = item(menu_, QStringLiteral("&Attributes"), "AttributesMI");
  connect(attributesItem_, &QAction::triggered, this, [this] {
    requests_.ScreenMenuOpen.store(false, std::memory_order_relaxed);
    attributes_ = !attributes_;
    // Shows as cells are next drawn; the picture is not redrawn for it.
    machine_.ApplyUnseen(
        [&screen = machine_.Screen, on = attributes_] { screen.SetAttributes(on); });
    RefreshMenuChecks();
  });

  QMenu* pages = menu_->addMenu(QStringLiteral("Video Page"));
  pages->setObjectName(QStringLiteral("VideoPageMI"));
  auto* pageGroup = new QActionGroup(this);
  const char* pageNames[kPageCount] = {"CurentMI", "FirstMI", "SecondMI"};
  const QString pageTexts[kPageCount] = {QStringLiteral("Curent"), QStringLiteral("First"),
                                         QStringLiteral("Second")};
  for (int i = 0; i < kPageCount; ++i) {
    pageItems_[i] = item(pages, pageTexts[i], pageNames[i]);
    pageGroup->addAction(pageItems_[i]);
    connect(pageItems_[i], &QAction::triggered, this,
            [this, i] { SelectScreenPage(static_cast<ScreenPage>(i)); });
  }

  QMenu* rendering = menu_->addMenu(QStringLiteral("Rendering"));
  rendering->setObjectName(QStringLiteral("RenderingMI"));
  auto* modeGroup = new QActionGroup(this);
  realItem_ = item(rendering, QStringLiteral("Real (multicolor)"), "RealMI");
  debugItem_ = item(rendering, QStringLiteral("Debug (memory)"), "DebugMI");
  modeGroup->addAction(realItem_);
  modeGroup->addAction(debugItem_);
  connect(realItem_, &QAction::triggered, this, [this] {
    mode_ = RenderingMode::Real;
    machine_.ApplyUnseen(
        [&screen = machine_.Screen] { screen.SetRenderingMode(RenderingMode::Real); });
    RefreshMenuChecks();
  });
  connect(debugItem_, &QAction::triggered, this, [this] {
    mode_ = RenderingMode::Debug;
    // Shown at once: the memory as it is now, even while the machine is stopped.
    machine_.ApplyUnseen([&screen = machine_.Screen] {
      screen.SetRenderingMode(RenderingMode::Debug);
      screen.PresentFrame();
    });
    RefreshMenuChecks();
  });

  QAction* diskRun = menu_->addAction(QStringLiteral("Load Disk && Run..."));
  diskRun->setObjectName(QStringLiteral("LoadDiskRunMI"));
  connect(diskRun, &QAction::triggered, this, [this] {
    requests_.ScreenMenuOpen.store(false, std::memory_order_relaxed);
    if (LoadDiskAndRun) LoadDiskAndRun();
  });

  QAction* screenshot = menu_->addAction(QStringLiteral("Save Screenshot..."));
  screenshot->setObjectName(QStringLiteral("SaveScreenshotMI"));
  connect(screenshot, &QAction::triggered, this, [this] {
    requests_.ScreenMenuOpen.store(false, std::memory_order_relaxed);
    SaveScreenshotCommand();
  });
}

void TScreenPanel::RefreshMenuChecks() {
  if (menu_ == nullptr) return;
  doubleSizeItem_->setChecked(settings_.DoubleSize);
  attributesItem_->setChecked(attributes_);
  for (int i = 0; i < kPageCount; ++i) pageItems_[i]->setChecked(static_cast<int>(page_) == i);
  realItem_->setChecked(mode_ == RenderingMode::Real);
  debugItem_->setChecked(mode_ == RenderingMode::Debug);
}

void TScreenPanel::contextMenuEvent(QContextMenuEvent* event) {
  // Escape closes the menu; the flag keeps that Escape from also stopping the machine.
  requests_.ScreenMenuOpen.store(true, std::memory_order_relaxed);
  RefreshMenuChecks();
  menu_->popup(event->globalPos());
  event->accept();
}

QString TScreenPanel::NextScreenshotName(const QString& directory) {
  const QDir dir(directory);
  std::string name = NextGeneratedName(dir.filePath(QStringLiteral("screen.png")).toStdString());
  // The counter only grows, so this ends at the first number no file has taken.
  while (QFileInfo::exists(QString::fromStdString(name))) name = NextGeneratedName(name);
  return QString::fromStdString(name);
}

void TScreenPanel::SaveScreenshotCommand() {
  QString directory = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (directory.isEmpty() || !QFileInfo(directory).isDir()) directory = QDir::homePath();
  const QString fileName =
      AskScreenshotFileName ? AskScreenshotFileName(NextScreenshotName(directory)) : QString();
  if (fileName.isEmpty()) return;
  QString error;
  if (!SaveScreenshot(fileName, &error) && ShowError) ShowError(QStringLiteral(" Error!"), error);
}

bool TScreenPanel::SaveScreenshot(const QString& fileName, QString* error) const {
  const auto fail = [error](const QString& text) {
    if (error != nullptr) *error = text;
    return false;
  };
  const VisibleRect visible = VisibleRectFor(borderSizes_);
  const QImage picture = presenter_->WithPicture([&visible](const WindowPicture& shown) {
    return shown.HasFrame() ? shown.VisibleImage(visible) : QImage();
  });
  if (picture.isNull()) return fail(QStringLiteral("There is no picture to save yet."));
  // Written beside the target and renamed over it: a failure leaves no half file.
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly) || !picture.save(&file, "PNG") || !file.commit()) {
    return fail(QStringLiteral("Can not write file %1:\n%2").arg(fileName, file.errorString()));
  }
  return true;
}

// ---------------------------------------------------------------------------------------
// Frames and painting.

void TScreenPanel::FrameArrived() {
  // Cleared before taking, so a frame published from here on asks for another call.
  repaintPending_.store(false, std::memory_order_release);
  const std::optional<QRegion> changed = presenter_->TakeMailboxFrame();
  if (!changed) return;
  if (fullScreen_) {
    update();
  } else if (!changed->isEmpty()) {
    repaint(changed->translated(kScreenBevel, kScreenBevel));
  }
  if (FrameShown) FrameShown();
}

// The picture's place in the window: inside the bevel, the visible cut at its scale.
QRect TScreenPanel::PictureTarget() const {
  const QSize client = ScreenClientSize(borderSizes_, settings_.DoubleSize);
  return {kScreenBevel, kScreenBevel, client.width() - 2 * kScreenBevel,
          client.height() - 2 * kScreenBevel};
}

QRect TScreenPanel::FullScreenTarget() const {
  const FullScreenSize size = FullScreenSizeOf(settings_.VideoMode);
  const int factor = std::max(1, std::min(width() / size.Width, height() / size.Height));
  const int w = size.Width * factor;
  const int h = size.Height * factor;
  return {(width() - w) / 2, (height() - h) / 2, w, h};
}

// The window's own pixels when Qt paints them into a 32-bit picture in memory, as its
// raster back ends do: the picture is then scaled straight into them, with no copy in
// between. Anything else (another format, a scaled display) gets nullptr.
QImage* TScreenPanel::DirectTarget(QPainter& painter, const QRect& target, QPoint* offset) {
  QPaintEngine* engine = painter.paintEngine();
  QPaintDevice* device = engine ? engine->paintDevice() : nullptr;
  if (device == nullptr || device->devType() != QInternal::Image) return nullptr;
  auto* image = static_cast<QImage*>(device);
  const QTransform transform = painter.deviceTransform();
  if ((image->format() != QImage::Format_RGB32 &&
       image->format() != QImage::Format_ARGB32_Premultiplied) ||
      image->devicePixelRatio() != 1.0 || transform.type() > QTransform::TxTranslate ||
      !image->isDetached()) {
    return nullptr;
  }
  *offset = QPoint(qRound(transform.dx()), qRound(transform.dy()));
  return image->rect().contains(target.translated(*offset)) ? image : nullptr;
}

void TScreenPanel::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  if (fullScreen_) {
    painter.fillRect(rect(), Qt::black);
    const bool composed = presenter_->WithPicture([this](const WindowPicture& picture) {
      if (!picture.HasFrame()) return false;
      ComposeFullScreen(picture.Pixels(), picture.Palette(), settings_.VideoMode,
                        settings_.DirectMemory, settings_.Interlaced, fullScreenPixels_);
      return true;
    });
    if (!composed) return;
    const FullScreenSize size = FullScreenSizeOf(settings_.VideoMode);
    const QImage image(reinterpret_cast<const uchar*>(fullScreenPixels_.data()), size.Width,
                       size.Height, size.Width * 4, QImage::Format_RGB32);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(FullScreenTarget(), image);
    return;
  }
  const QRect all = rect();
  // A sunken bevel: dark above and left, light below and right.
  painter.setPen(palette().color(QPalette::Dark));
  painter.drawLine(all.topLeft(), all.topRight());
  painter.drawLine(all.topLeft(), all.bottomLeft());
  painter.setPen(palette().color(QPalette::Light));
  painter.drawLine(all.bottomLeft(), all.bottomRight());
  painter.drawLine(all.topRight(), all.bottomRight());

  // The picture's own window covers it.
  if (surface_ != nullptr && !surface_->isHidden()) return;
  const QRect target = PictureTarget();
  QPoint offset;
  QImage* direct = DirectTarget(painter, target, &offset);
  presenter_->WithPicture([&](const WindowPicture& picture) {
    if (!picture.HasFrame()) {
      painter.fillRect(target, Qt::black);
      return;
    }
    const int scale = picture.ScaleFactor();
    // Only what the event asks for is drawn, in whole native pixels.
    for (const QRect& part : event->region()) {
      const QRect drawn = part.intersected(target);
      if (drawn.isEmpty()) continue;
      const QRect cells = picture.CellsCovering(drawn.translated(-kScreenBevel, -kScreenBevel));
      const QPoint corner(kScreenBevel + cells.left() * scale, kScreenBevel + cells.top() * scale);
      if (direct != nullptr) {
        const QPoint at = corner + offset;
        picture.ScaleCells(cells, direct->bits() + at.y() * direct->bytesPerLine() + at.x() * 4,
                           direct->bytesPerLine());
      } else {
        const QSize size = cells.size() * scale;
        if (scratch_.width() < size.width() || scratch_.height() < size.height()) {
          scratch_ = QImage(size.expandedTo(scratch_.size()), QImage::Format_RGB32);
        }
        picture.ScaleCells(cells, scratch_.bits(), scratch_.bytesPerLine());
        painter.drawImage(drawn, scratch_, drawn.translated(-corner));
      }
    }
  });
}

// ---------------------------------------------------------------------------------------
// Keys, mouse, activation, closing.

bool TScreenPanel::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::ShortcutOverride:
      // No shortcut of any window fires while the emulator has the keyboard, but the
      // held Rewind key, which the Spectrum has no use for.
      if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_F11) break;
      event->accept();
      return true;
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(event);
      // Tab would otherwise move the focus away; the Spectrum has no use for that.
      if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
        keyPressEvent(key);
        return true;
      }
      break;
    }
    default: break;
  }
  return QWidget::event(event);
}

void TScreenPanel::HandleKey(QKeyEvent& event, bool pressed) {
  event.accept();
  // The emulated keyboard does its own repeat; host repeats would be extra presses.
  if (event.isAutoRepeat()) return;
  if (const auto code = ScanCodeOfEvent(event); code && KeyHandler) KeyHandler(*code, pressed);
}

void TScreenPanel::keyPressEvent(QKeyEvent* event) {
  HandleKey(*event, true);
}

void TScreenPanel::keyReleaseEvent(QKeyEvent* event) {
  HandleKey(*event, false);
}

void TScreenPanel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    requests_.ScreenMenuOpen.store(false, std::memory_order_relaxed);
  }
  QWidget::mousePressEvent(event);
}

void TScreenPanel::mouseDoubleClickEvent(QMouseEvent* event) {
  requests_.ScreenMenuOpen.store(false, std::memory_order_relaxed);
  if (event->button() == Qt::LeftButton && MachineRunning && MachineRunning() &&
      machine_.Mouse.Enabled.load(std::memory_order_relaxed)) {
    requests_.MouseCaptureRequested.store(true, std::memory_order_relaxed);
  }
  event->accept();
}

void TScreenPanel::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange) {
    requests_.ScreenMenuOpen.store(false, std::memory_order_relaxed);
    if (FocusHandler) FocusHandler(isActiveWindow());
  }
  QWidget::changeEvent(event);
}

std::optional<FullScreenError> TScreenPanel::EnterFullScreen() {
  if (fullScreen_) return std::nullopt;
  const QScreen* monitor = screen();
  if (monitor == nullptr) monitor = QGuiApplication::primaryScreen();
  if (monitor == nullptr)
    return FullScreenError{1, QStringLiteral("QGuiApplication::primaryScreen"), 0};
  const FullScreenSize size = FullScreenSizeOf(settings_.VideoMode);
  const QSize available = monitor->size();
  if (available.width() < size.Width || available.height() < size.Height) {
    // The monitor's own size as the result: width in the high half, height in the low.
    return FullScreenError{8, QStringLiteral("QScreen::size"),
                           (static_cast<uint32_t>(available.width()) << 16) |
                               static_cast<uint32_t>(available.height() & 0xFFFF)};
  }
  windowedGeometry_ = geometry();
  fullScreen_ = true;
  UseSurface(false);
  // The same native window throughout: re-creating it (new window flags) would lose the
  // key releases on their way, such as the Alt of Alt+Enter, under a window manager.
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  setGeometry(monitor->geometry());
  showFullScreen();
  raise();
  activateWindow();
  setFocus();
  update();
  return std::nullopt;
}

void TScreenPanel::LeaveFullScreen() {
  if (!fullScreen_) return;
  fullScreen_ = false;
  showNormal();
  ResizeScreenWindow();
  setGeometry(windowedGeometry_);
  show();
  captionValid_ = false;
  UpdateScreenCaption();
}

void TScreenPanel::dragEnterEvent(QDragEnterEvent* event) {
  const QString fileName = DroppedFile(event->mimeData());
  if (!fileName.isEmpty() && (!CanOpenFile || CanOpenFile(fileName))) {
    event->acceptProposedAction();
  }
}

void TScreenPanel::dropEvent(QDropEvent* event) {
  const QString fileName = DroppedFile(event->mimeData());
  if (fileName.isEmpty() || !FileDropped) return;
  event->acceptProposedAction();
  // Not inside the drop: opening may show a message box.
  QMetaObject::invokeMethod(
      this, [this, fileName] { FileDropped(fileName); }, Qt::QueuedConnection);
}

void TScreenPanel::closeEvent(QCloseEvent* event) {
  // The screen lives as long as the program; only the main window ends it.
  event->ignore();
}

}  // namespace vantrel
