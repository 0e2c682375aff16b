#include "ui/TConfigForm.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/JoystickOptionsPage.h"
#include "ui/MouseOptionsPage.h"
#include "ui/OptionsPages.h"
#include "ui/PortsOptionsPage.h"
#include "ui/TRomNavigatorForm.h"
#include "ui/VideoOptionsPage.h"

namespace vantrel {

TConfigForm::TConfigForm(SettingsStore& store, FileResolver resolver, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("ConfigForm"));
  setWindowTitle(QStringLiteral("Options"));
  auto* layout = new QVBoxLayout(this);
  pages_ = new QTabWidget(this);
  video_ = new VideoOptionsPage(store, pages_);
  ports_ = new PortsOptionsPage(pages_);
  startup_ = new StartupOptionsPage(pages_);
  roms_ = new RomsOptionsPage(pages_);
  trDos_ = new TrDosOptionsPage(pages_);
  memory_ = new MemoryOptionsPage(pages_);
  mouse_ = new MouseOptionsPage(pages_);
  sound_ = new SoundOptionsPage(pages_);
  joystick_ = new JoystickOptionsPage(pages_);
  pages_->addTab(video_, QStringLiteral("Video"));
  pages_->addTab(ports_, QStringLiteral("Ports"));
  pages_->addTab(startup_, QStringLiteral("Startup"));
  pages_->addTab(roms_, QStringLiteral("ROM's"));
  pages_->addTab(trDos_, QStringLiteral("TR-DOS"));
  pages_->addTab(memory_, QStringLiteral("Memory"));
  pages_->addTab(mouse_, QStringLiteral("Mouse"));
  pages_->addTab(sound_, QStringLiteral("Sound"));
  pages_->addTab(joystick_, QStringLiteral("Joystick"));
  layout->addWidget(pages_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  ok_->setObjectName(QStringLiteral("OkButton"));
  cancel_ = buttons->button(QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  // Bad border sizes are never applied: OK waits until the page is valid again.
  connect(video_, &VideoOptionsPage::ValidityChanged, ok_, &QPushButton::setEnabled);

  navigator_ = new TRomNavigatorForm(std::move(resolver), this);
  navigator_->SlotChosen = [this](RomSlot slot, const std::string& reference) {
    roms_->SetReference(slot, QString::fromStdString(reference));
  };
  roms_->NavigatorRequested = [this] { OpenNavigator(); };
  connect(memory_->Models(), &QButtonGroup::idClicked, sound_, [this](int id) {
    sound_->ModelChosen(static_cast<MemoryModel>(id));
    startup_->ModelChosen(static_cast<MemoryModel>(id));
  });
}

TConfigForm::~TConfigForm() = default;

void TConfigForm::Load(const Values& values) {
  loaded_ = values;
  video_->Load(values.Screen, values.Hardware.BorderPreset, values.Border);
  ports_->Load(values.Hardware);
  startup_->Load(values.Hardware);
  roms_->Load(values.Hardware);
  trDos_->Load(values.Hardware);
  memory_->Load(values.Hardware);
  mouse_->Load(values.Hardware);
  sound_->Load(values.Hardware);
  joystick_->Load(values.Hardware);
  ok_->setEnabled(video_->Valid());
}

TConfigForm::Values TConfigForm::Result() const {
  Values values = loaded_;
  int32_t preset = values.Hardware.BorderPreset;
  video_->Store(values.Screen, preset, values.Border);
  // Sizes typed under a name that is not in the list apply now; the stored preset stays
  // the one chosen last, as there is nothing else to name at the next start.
  if (preset >= 0) values.Hardware.BorderPreset = preset;
  ports_->Store(values.Hardware);
  startup_->Store(values.Hardware);
  roms_->Store(values.Hardware);
  trDos_->Store(values.Hardware);
  memory_->Store(values.Hardware);
  mouse_->Store(values.Hardware);
  sound_->Store(values.Hardware);
  joystick_->Store(values.Hardware);
  return values;
}

void TConfigForm::ShowPage(int page) {
  if (page >= 0 && page < kPageCount) pages_->setCurrentIndex(page);
}

void TConfigForm::OpenNavigator() {
  navigator_->SetDefaultPath(roms_->DefaultPath(RomSlot::k48kBasic));
  navigator_->exec();
  roms_->SetDefaultPath(RomSlot::k48kBasic, navigator_->DefaultPath());
}

}  // namespace vantrel
