#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/Settings.h"
#include "ui/ScreenPresenter.h"
#include "video/ScreenRenderer.h"

class QAction;
class QMenu;

class QPainter;

namespace vantrel {

class Machine;
class PictureSurface;
class SettingsStore;
struct KeyRequests;

// "Screen", then "RAM5 " or "RAM7 " while a fixed page is shown, then "(FPS n)" while
// the frame rate is shown. The space after "Screen" is always there.
QString ScreenCaption(ScreenPage page, bool showFps, uint32_t fps);

// The screen window's paint area: the visible picture, doubled in both directions at
// double size, inside a sunken bevel one pixel wide on every side.
inline constexpr int kScreenBevel = 1;
QSize ScreenClientSize(const BorderSizes& sizes, bool doubleSize);

// A stored window position checked against the desktop: one that would leave the
// caption below the desktop's bottom less 50, or the left edge past its right less 40,
// goes back to 20, so a window saved on a monitor since removed can still be reached.
QPoint FitScreenPanelPosition(const WindowPosition& stored, const QRect& desktop);

// Why full screen could not be entered: the number of the step that failed (1-9, as in
// the text table of FullScreenErrorText), the platform function and what it returned.
struct FullScreenError {
  int Code = 0;
  QString Function;
  uint32_t Result = 0;
};
inline const QString kFullScreenErrorCaption = QStringLiteral(" DirectDraw Fatal Error!");
// "<what failed>\nFunction '<function>' return result code XXXXXXXXh."
QString FullScreenErrorText(const FullScreenError& error);

// The screen window: the emulated picture beside the main window. Frames come from the
// machine's renderer through a ScreenPresenter: drawn straight onto the picture's own
// surface by the thread that finishes them where there is one, otherwise handed over
// through a mailbox, so the thread that runs the machine never waits for this window's
// thread. Every change to the renderer goes through Machine::Apply.
// While it has the focus, every key goes to the emulator; it refuses to be closed.
//
// The window thread must have stopped the emulation thread before the panel is
// destroyed: the presenter dies with it.
class TScreenPanel : public QWidget {
  Q_OBJECT

 public:
  TScreenPanel(Machine& machine, SettingsStore& store, KeyRequests& requests,
               QWidget* parent = nullptr);
  ~TScreenPanel() override;

  // Writes the window's settings (also done by the destructor).
  void SaveSettings();
  // The settings as they stand now, position included.
  ScreenPanelSettings CurrentSettings() const;
  // Takes new values from the Options dialog. The position is left alone: only the
  // constructor places the window.
  void ApplySettings(const ScreenPanelSettings& settings);

  void SetBorderSizes(const BorderSizes& sizes);
  const BorderSizes& GetBorderSizes() const { return borderSizes_; }
  // Fixes the window's size to the visible picture; the whole picture is repainted.
  void ResizeScreenWindow();
  // From the main window's idle time: rewrites the caption when the frame-rate display,
  // the rate shown or the page has changed since the last call.
  void UpdateScreenCaption();

  bool DoubleSize() const { return settings_.DoubleSize; }
  void SetDoubleSize(bool on);
  // The window's own record of the renderer's modes; only this window changes them.
  bool Attributes() const { return attributes_; }
  RenderingMode GetRenderingMode() const { return mode_; }
  ScreenPage GetScreenPage() const { return page_; }
  void SelectScreenPage(ScreenPage page);

  // Full screen: the window becomes a frameless full-screen window on its monitor and
  // shows the fixed part of the picture of the chosen video mode, enlarged by the largest
  // whole factor that fits, black around. Fails (and stays a window) when there is no
  // monitor or the monitor is smaller than the mode's picture.
  std::optional<FullScreenError> EnterFullScreen();
  // Back to the window at its size and place from before; does nothing when not at full
  // screen.
  void LeaveFullScreen();
  bool FullScreenActive() const { return fullScreen_; }
  // The full-screen picture's place on the window (for tests).
  QRect FullScreenTarget() const;

  // The visible picture (the current border, one screen pixel per Spectrum pixel) as a
  // PNG file, written whole or not at all. False with `error` set when it fails.
  bool SaveScreenshot(const QString& fileName, QString* error = nullptr) const;
  // The first free generated name in `directory`: screen_001.png, screen_002.png, ...
  static QString NextScreenshotName(const QString& directory);

  // The pop-up menu (object name "ScreenPM"; its items are named as well).
  QMenu* ScreenMenu() const { return menu_; }

  // A key went down or up while this window had the focus (set-1 scan code).
  std::function<void(uint8_t scanCode, bool pressed)> KeyHandler;
  // The window became active (true) or stopped being active (false).
  std::function<void(bool active)> FocusHandler;
  // Whether the machine runs; a double click captures the mouse only then.
  std::function<bool()> MachineRunning;
  // After each frame the window has taken (the main window's idle work rides on it).
  std::function<void()> FrameShown;
  // The run loop's frames-per-second count, for the caption.
  std::function<uint32_t()> FramesPerSecond;
  // A file dropped on the picture, and whether one would be taken (for the drag cursor).
  std::function<void(const QString& fileName)> FileDropped;
  // "Load Disk && Run..." of the window's menu.
  std::function<void()> LoadDiskAndRun;
  std::function<bool(const QString& fileName)> CanOpenFile;
  // "Save Screenshot...": asks for the file name, given the generated one; empty cancels.
  std::function<QString(const QString& proposed)> AskScreenshotFileName;
  // Shows a failure: caption and text.
  std::function<void(const QString& caption, const QString& text)> ShowError;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  static QImage* DirectTarget(QPainter& painter, const QRect& target, QPoint* offset);
  QRect PictureTarget() const;
  void UseSurface(bool on);
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildMenu();
  void SaveScreenshotCommand();
  void RefreshMenuChecks();
  void ApplyRendererSettings();
  void FrameArrived();
  void HandleKey(QKeyEvent& event, bool pressed);

  Machine& machine_;
  SettingsStore& store_;
  KeyRequests& requests_;
  ScreenPanelSettings settings_;
  BorderSizes borderSizes_;
  bool attributes_ = true;
  RenderingMode mode_ = RenderingMode::Real;
  ScreenPage page_ = ScreenPage::Current;

  // The picture's own window where the display system has one (null otherwise, and at
  // full screen hidden); a child of this one.
  PictureSurface* surface_ = nullptr;
  std::unique_ptr<ScreenPresenter> presenter_;
  std::atomic<bool> repaintPending_{false};

  // What the caption shows.
  bool captionValid_ = false;
  bool captionShowFps_ = false;
  uint32_t captionFps_ = 0;
  ScreenPage captionPage_ = ScreenPage::Current;

  bool fullScreen_ = false;
  bool settingsSaved_ = false;
  QRect windowedGeometry_;
  std::vector<uint32_t> fullScreenPixels_;
  QImage scratch_;  // for painting devices that cannot be written directly

  QMenu* menu_ = nullptr;
  QAction* doubleSizeItem_ = nullptr;
  QAction* attributesItem_ = nullptr;
  QAction* pageItems_[3] = {};
  QAction* realItem_ = nullptr;
  QAction* debugItem_ = nullptr;
};

}  // namespace vantrel
