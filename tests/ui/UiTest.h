// What the desktop tests share: Qt's widget and test headers and a few small helpers.
#pragma once

#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

namespace vantrel::uitest {

using Bytes = std::vector<uint8_t>;

inline QString WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return QString::fromStdString(path.string());
}

// Edits mark a value they cannot use in yellow.
inline bool Yellow(const QWidget* widget) {
  return widget->palette().color(QPalette::Base) == Qt::yellow;
}

}  // namespace vantrel::uitest
