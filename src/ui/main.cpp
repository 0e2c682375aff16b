// The desktop program: one copy at a time, the main window first, then the start-up
// routine, then the event loop.
#include <QApplication>
#include <QProxyStyle>
#include <QStringList>
#include <filesystem>

#include "app/RomImages.h"
#include "platform/QtSettingsStore.h"
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
  vantrel::SingleInstance instance;
  if (!instance.Acquire()) return 0;  // another copy runs: leave quietly
  application.setStyle(new NoAltMenuStyle);

  const std::filesystem::path startDirectory = std::filesystem::current_path();
  const std::filesystem::path programDirectory =
      QCoreApplication::applicationDirPath().toStdString();
  vantrel::QtSettingsStore store;
  vantrel::TMainForm form(store,
                          vantrel::MakeRomFileResolver(startDirectory, programDirectory,
                                                       vantrel::DataDirEnvironment::FromProcess()));
  form.show();
  form.ScreenPanel().show();
  const QStringList args = QCoreApplication::arguments();
  if (!form.StartUp(args.size() > 1 ? args[1] : QString())) return 0;
  return QApplication::exec();
}
