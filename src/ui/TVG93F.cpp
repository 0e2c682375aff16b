#include "ui/TVG93F.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>

#include "app/Settings.h"
#include "disk/VG93.h"
#include "ui/WindowPlacement.h"

namespace vantrel {

namespace {

std::string Hex2(uint8_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[value >> 4], kDigits[value & 15]};
}

QString Q(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

std::string ByteHint(uint8_t value) {
  std::string binary;
  for (int bit = 7; bit >= 0; --bit) binary += ((value >> bit) & 1) ? '1' : '0';
  std::string hint = "#" + Hex2(value) + "\n" + std::to_string(value) + "\n%" + binary;
  if (value >= 0x20) hint += std::string("\n'") + static_cast<char>(value) + "'";
  return hint;
}

std::string CommandHint(uint8_t command) {
  static constexpr const char* kStepRates[] = {"\nStep Rate = 6ms", "\nStep Rate = 12ms",
                                               "\nStep Rate = 20ms", "\nStep Rate = 30ms"};
  if (command < 0x80) {
    static constexpr const char* kNames[] = {"Restore", "Seek",    "Step",     "Step",
                                             "Step-in", "Step-in", "Step-out", "Step-out"};
    std::string hint = kNames[command >> 4];
    if (command & 0x08) hint += "\nwith Head Loading";
    if (command & 0x04) hint += "\nwith Track Verification";
    if (command >= 0x20 && (command & 0x10)) hint += "\nwith Track Register Update";
    return hint + kStepRates[command & 3];
  }
  if (command < 0xC0) {
    const bool write = command >= 0xA0;
    std::string hint = write ? "Write Sector" : "Read Sector";
    hint += (command & 0x10) ? "\nMultiple Records" : "\nSingle Record";
    if (command & 0x02) hint += "\nCompare for Side";
    if (write && (command & 0x01)) hint += "\nwith Deleted DAM";
    if (command & 0x04) hint += "\nwith 30ms Delay";
    return hint;
  }
  if ((command & 0xF0) == 0xD0) {
    std::string hint = "Force Interrupt";
    if (command & 0x01) hint += "\non Not Ready to Ready Transition";
    if (command & 0x02) hint += "\non Ready to Not Ready Transition";
    if (command & 0x04) hint += "\non Index Pulse";
    if (command & 0x08) hint += "\nImmediately";
    if ((command & 0x0F) == 0) hint += "\nImmediately without INTRQ";
    return hint;
  }
  std::string hint = command < 0xD0   ? "Read Address"
                     : command < 0xF0 ? "Read Track"
                                      : "Write Track";
  if (command & 0x04) hint += "\nwith 30ms Delay";
  return hint;
}

std::string StatusHint(uint8_t status, uint8_t command) {
  const bool typeI = command < 0x80 || (command & 0xF0) == 0xD0;
  const char* names[8] = {"Command in Progress",
                          typeI ? "Index Mark Detected" : "Data Request",
                          typeI ? "Head at Track 0" : "Data Lost",
                          "CRC Error",
                          typeI ? "Seek Error" : "Record Not Found",
                          typeI ? "Head Loaded" : "Deleted DAM",
                          "Write Protect",
                          "Drive Not Ready"};
  std::string hint;
  for (int bit = 7; bit >= 0; --bit) {
    if (!((status >> bit) & 1)) continue;
    if (!hint.empty()) hint += '\n';
    hint += names[bit];
  }
  return hint;
}

std::string SystemHint(uint8_t system) {
  if (!(system & 0x04)) return "VG93 Reset";
  if (!(system & 0x08)) return "VG93 HLT Blocked";
  std::string hint = std::string("Drive ") + static_cast<char>('A' + (system & 3));
  hint += (system & 0x10) ? ", Side 0" : ", Side 1";
  hint += (system & 0x40) ? ", Single Density (FM)" : ", Double Density (MFM)";
  return hint;
}

std::string RequestHint(uint8_t requests) {
  const bool drq = requests & Vg93Controller::kDrq;
  const bool intrq = requests & Vg93Controller::kIntrq;
  if (drq && intrq) return "VG93 Data Request\nVG93 Interrupt Request";
  if (drq) return "VG93 Data Request";
  if (intrq) return "VG93 Interrupt Request";
  return "No Requests";
}

TVG93F::TVG93F(SettingsStore& store, QWidget* parent) : QWidget(parent, Qt::Tool), store_(store) {
  setObjectName(QStringLiteral("VG93F"));
  setWindowTitle(QStringLiteral("Beta128"));
  auto* layout = new QHBoxLayout(this);
  struct Field {
    const char* name;
    const char* hint;
    const char* key;
  };
  const struct {
    const char* title;
    std::initializer_list<Field> fields;
  } groups[] = {
      {"VG93",
       {{"DR", "VG93 Data Register (Read/Write #7F)", "DR"},
        {"TR", "VG93 Track Register (Read/Write #3F)", "TR"},
        {"SR", "VG93 Sector Register (Read/Write #5F)", "SR"},
        {"CR", "VG93 Command Register (Write #1F)", "CR"},
        {"STR", "VG93 Status Register (Read #1F)", "STR"}}},
      {"Beta128",
       {{"SWR", "Beta128 System Register (Write #FF)", "SWR"},
        {"SRD", "Beta128 System Register (Read #FF)", "SRD"}}},
      {"Drive A", {{"TR", "Head on Track", "Drive TR"}, {"WP", "Write Protect", "WP"}}},
  };
  for (const auto& group : groups) {
    auto* box = new QGroupBox(QString::fromLatin1(group.title), this);
    auto* grid = new QGridLayout(box);
    grid->setAlignment(Qt::AlignTop);
    int row = 0;
    for (const Field& f : group.fields) {
      AddField(grid, row++, QString::fromLatin1(f.name), QString::fromLatin1(f.hint),
               QString::fromLatin1(f.key));
    }
    layout->addWidget(box);
    driveBox_ = box;  // the last group: the selected drive
  }
  auto* protect = new QGroupBox(QStringLiteral("Write Protect"), this);
  auto* boxes = new QHBoxLayout(protect);
  for (int drive = 0; drive < 4; ++drive) {
    protect_[drive] = new QCheckBox(QString(QChar('A' + drive)), protect);
    protect_[drive]->setObjectName(QStringLiteral("WriteProtect%1").arg(QChar('A' + drive)));
    protect_[drive]->setToolTip(QStringLiteral("Drive %1 Write Protected").arg(QChar('A' + drive)));
    boxes->addWidget(protect_[drive]);
    connect(protect_[drive], &QCheckBox::clicked, this, [this, drive](bool on) {
      if (SetDriveWriteProtected) SetDriveWriteProtected(drive, on);
    });
  }
  layout->addWidget(protect);
  const Beta128ViewSettings settings = LoadBeta128ViewSettings(store_);
  RestorePosition(*this, {settings.Position.X, settings.Position.Y});
  setVisible(settings.Enabled);
}

TVG93F::~TVG93F() = default;

QLabel* TVG93F::AddField(QGridLayout* grid, int row, const QString& name, const QString& hint,
                         const QString& key) {
  auto* caption = new QLabel(name, this);
  caption->setToolTip(hint);
  auto* value = new QLabel(QStringLiteral("00"), this);
  value->setObjectName(key);
  value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  grid->addWidget(caption, row, 0);
  grid->addWidget(value, row, 1);
  return value;
}

QLabel* TVG93F::Value(const QString& name) const {
  return findChild<QLabel*>(name);
}

void TVG93F::Refresh(const Vg93Controller& c) {
  const auto show = [this](const char* key, uint8_t value, const std::string& hint) {
    QLabel* label = Value(QString::fromLatin1(key));
    label->setText(Q(Hex2(value)));
    label->setToolTip(Q(hint));
  };
  const uint8_t status = c.PeekStatus();
  const uint8_t head = static_cast<uint8_t>(c.HeadCylinder());
  show("DR", c.Data(), ByteHint(c.Data()));
  show("TR", c.ReadTrack(), ByteHint(c.ReadTrack()));
  show("SR", c.ReadSector(), ByteHint(c.ReadSector()));
  show("CR", c.Command(), CommandHint(c.Command()));
  show("STR", status, StatusHint(status, c.Command()));
  show("SWR", c.System(), SystemHint(c.System()));
  show("SRD", c.ReadRequests(), RequestHint(c.ReadRequests()));
  show("Drive TR", head, ByteHint(head));
  Value(QStringLiteral("WP"))
      ->setText(c.WriteProtected() ? QStringLiteral("On") : QStringLiteral("Off"));
  // The group of the drive the system register selects.
  driveBox_->setTitle(QStringLiteral("Drive %1").arg(QChar('A' + c.SelectedDrive())));
  for (int drive = 0; drive < 4; ++drive) {
    const std::optional<bool> on =
        DriveWriteProtected ? DriveWriteProtected(drive) : std::optional<bool>();
    protect_[drive]->setEnabled(on.has_value());
    protect_[drive]->setChecked(on.value_or(false));
  }
}

void TVG93F::SaveSettings(bool shown) {
  const QPoint position = StoredPosition(*this);
  SaveBeta128ViewSettings(store_, {{position.x(), position.y()}, shown});
}

}  // namespace vantrel
