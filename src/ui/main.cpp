// The desktop program: one copy at a time, the main window first, then the start-up
// routine, then the event loop.
#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QProxyStyle>
#include <QStringList>
#include <filesystem>

#include "app/RomImages.h"
#include "platform/QtSettingsStore.h"
#include "platform/QuitSignals.h"
#include "platform/SingleInstance.h"
#include "ui/TMainForm.h"
#include "ui/TScreenPanel.h"

namespace {

// Alt alone belongs to the emulated keyboard's Alt layer, not to the menu bar.
class NoAltMenuStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == QStyle::SH_MenuBar_AltKeyNavigation) return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const QStringList args = QCoreApplication::arguments();
  // The running copy may have started elsewhere: an existing file goes by its full name.
  QString file = args.size() > 1 ? args[1] : QString();
  if (QFileInfo::exists(file)) file = QFileInfo(file).absoluteFilePath();
  vantrel::SingleInstance instance;
  if (!instance.Acquire()) {
    // Another copy runs: it gets the file (or is only brought to the front), and this
    // copy leaves quietly.
    instance.HandOver(file);
    return 0;
  }
  application.setStyle(new NoAltMenuStyle);
  // The installed menu entry and icon (dist/linux) name the program's windows.
  QGuiApplication::setDesktopFileName(QStringLiteral("vantrel"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("vantrel")));

  const std::filesystem::path startDirectory = std::filesystem::current_path();
  const std::filesystem::path programDirectory =
      QCoreApplication::applicationDirPath().toStdString();
  vantrel::QtSettingsStore store;
  vantrel::TMainForm form(store,
                          vantrel::MakeRomFileResolver(startDirectory, programDirectory,
                                                       vantrel::DataDirEnvironment::FromProcess()));
  vantrel::QuitSignals quitSignals;
  QObject::connect(&quitSignals, &vantrel::QuitSignals::Requested, &form,
                   [&form] { form.close(); });
  form.show();
  form.ScreenPanel().show();
  if (!form.StartUp(file)) return 0;
  instance.Listen([&form](const QString& handed) {
    form.RaiseWindows();
    if (!handed.isEmpty()) form.OpenCommandLineFile(handed);
  });
  return QApplication::exec();
}
