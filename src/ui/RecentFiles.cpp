#include "ui/RecentFiles.h"

#include <algorithm>
#include <string>

#include "app/SettingsStore.h"

namespace vantrel {

namespace {

constexpr std::string_view kSubkey = "Environment\\Recent Files";

std::string ValueName(int index) {
  return "File " + std::to_string(index + 1);
}

}  // namespace

void RecentFiles::Load(const SettingsStore& store) {
  files_.clear();
  for (int i = 0; i < kMax; ++i) {
    const auto name = store.ReadText(kSubkey, ValueName(i));
    if (name && !name->empty()) Add(QString::fromStdString(*name));
  }
  // Add put each one in front; the stored order is newest first.
  std::reverse(files_.begin(), files_.end());
}

void RecentFiles::Save(SettingsStore& store) const {
  // Every slot is written, so a shorter list leaves no stale names behind.
  for (int i = 0; i < kMax; ++i) {
    store.WriteText(kSubkey, ValueName(i), i < files_.size() ? files_[i].toStdString() : "");
  }
}

void RecentFiles::Add(const QString& fileName) {
  if (fileName.isEmpty()) return;
  files_.removeAll(fileName);
  files_.prepend(fileName);
  while (files_.size() > kMax) files_.removeLast();
}

void RecentFiles::Remove(const QString& fileName) {
  files_.removeAll(fileName);
}

}  // namespace vantrel
