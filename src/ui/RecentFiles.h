#pragma once

#include <QStringList>

namespace vantrel {

class SettingsStore;

// The last files opened (snapshots, tapes, disks), newest first, at most kMax, each name
// once. Stored under "Environment\Recent Files" as "File 1" (newest) to "File 10".
class RecentFiles {
 public:
  static constexpr int kMax = 10;

  void Load(const SettingsStore& store);
  void Save(SettingsStore& store) const;
  // Moves `fileName` to the front (adding it when new) and drops what falls off the end.
  void Add(const QString& fileName);
  void Remove(const QString& fileName);
  const QStringList& Files() const { return files_; }

 private:
  QStringList files_;
};

}  // namespace vantrel
