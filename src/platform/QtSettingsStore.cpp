#include "platform/QtSettingsStore.h"

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <algorithm>
#include <charconv>
#include <limits>

namespace vantrel {

namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// "Hardware\Kempston Joystick\" becomes the group "Hardware/Kempston Joystick".
QString GroupPath(std::string_view subkey) {
  QString path;
  for (const std::string& component : SubkeyComponents(subkey)) {
    if (!path.isEmpty()) path += u'/';
    path += QString::fromStdString(component);
  }
  return path;
}

QString KeyPath(std::string_view subkey, std::string_view name) {
  const QString group = GroupPath(subkey);
  return group.isEmpty() ? ToQString(name) : group + u'/' + ToQString(name);
}

std::optional<int32_t> ParseInteger(const QString& text) {
  const QByteArray bytes = text.toUtf8();
  const char* begin = bytes.constData();
  const char* end = begin + bytes.size();
  int32_t value = 0;
  const auto [stop, error] = std::from_chars(begin, end, value);
  if (bytes.isEmpty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::optional<int32_t> InInt32Range(long long value) {
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int32_t>(value);
}

// Keeps a QSettings group open for the lifetime of one operation.
class GroupScope {
 public:
  GroupScope(QSettings& settings, const QString& group) : settings_(settings) {
    settings_.beginGroup(group);
  }
  ~GroupScope() { settings_.endGroup(); }
  GroupScope(const GroupScope&) = delete;
  GroupScope& operator=(const GroupScope&) = delete;

 private:
  QSettings& settings_;
};

}  // namespace

QtSettingsStore::QtSettingsStore()
#if defined(_WIN32)
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            QStringLiteral("Tarvex"), QStringLiteral("Vantrel")))
#else
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("Tarvex"), QStringLiteral("Vantrel")))
#endif
{
}

QtSettingsStore::QtSettingsStore(const std::filesystem::path& iniFile)
    : settings_(std::make_unique<QSettings>(QString::fromStdU16String(iniFile.u16string()),
                                            QSettings::IniFormat)) {}

QtSettingsStore::~QtSettingsStore() = default;

std::optional<std::string> QtSettingsStore::ReadText(std::string_view subkey,
                                                     std::string_view name) const {
  const QVariant value = settings_->value(KeyPath(subkey, name));
  switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: return value.toString().toStdString();
    default: return std::nullopt;
  }
}

std::optional<int32_t> QtSettingsStore::ReadInteger(std::string_view subkey,
                                                    std::string_view name) const {
  const QVariant value = settings_->value(KeyPath(subkey, name));
  switch (value.typeId()) {
    case QMetaType::QString: return ParseInteger(value.toString());
    case QMetaType::Int: return value.toInt();
    case QMetaType::UInt:
      // A registry number is 32 bits wide whatever its sign.
      return static_cast<int32_t>(value.toUInt());
    case QMetaType::LongLong: return InInt32Range(value.toLongLong());
    case QMetaType::ULongLong:
      if (value.toULongLong() > static_cast<qulonglong>(std::numeric_limits<int32_t>::max())) {
        return std::nullopt;
      }
      return static_cast<int32_t>(value.toULongLong());
    default: return std::nullopt;
  }
}

void QtSettingsStore::WriteText(std::string_view subkey, std::string_view name,
                                std::string_view value) {
  settings_->setValue(KeyPath(subkey, name), ToQString(value));
  settings_->sync();
}

void QtSettingsStore::WriteInteger(std::string_view subkey, std::string_view name, int32_t value) {
  settings_->setValue(KeyPath(subkey, name), static_cast<int>(value));
  settings_->sync();
}

bool QtSettingsStore::SubkeyExists(std::string_view subkey) const {
  const QString group = GroupPath(subkey);
  if (group.isEmpty()) return true;
  GroupScope scope(*settings_, group);
  return !settings_->childKeys().isEmpty() || !settings_->childGroups().isEmpty();
}

std::vector<std::string> QtSettingsStore::ListSubkeys(std::string_view subkey) const {
  GroupScope scope(*settings_, GroupPath(subkey));
  std::vector<std::string> names;
  for (const QString& group : settings_->childGroups()) names.push_back(group.toStdString());
  std::sort(names.begin(), names.end());
  return names;
}

void QtSettingsStore::DeleteSubkey(std::string_view subkey) {
  const QString group = GroupPath(subkey);
  if (group.isEmpty()) return;
  settings_->remove(group);
  settings_->sync();
}

std::string QtSettingsStore::Location() const {
  return settings_->fileName().toStdString();
}

}  // namespace vantrel
