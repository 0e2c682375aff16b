#pragma once

#include <QFileInfo>
#include <QLineEdit>
#include <QString>
#include <cstdint>
#include <optional>

#include "app/Settings.h"
#include "debugger/Evaluator.h"

namespace vantrel {

// A number field of the memory block dialogs: nullopt when empty; a mistyped value is -1,
// out of every range.
inline std::optional<int64_t> BlockField(const QLineEdit* edit, const Z80Registers& regs) {
  if (edit->text().trimmed().isEmpty()) return std::nullopt;
  try {
    return EvaluateExpression(edit->text().toStdString(), regs);
  } catch (const ExpressionError&) {
    return -1;
  }
}

// The typed location, with its file name and folder for the next dialog to start in.
inline void RememberBlockFile(BlockFileSetting& file, const QString& typed) {
  const QString location = typed.trimmed();
  file.Location = location.toStdString();
  if (location.isEmpty()) return;
  const QFileInfo info(location);
  file.FileName = info.fileName().toStdString();
  file.DefaultDir = info.absolutePath().toStdString();
}

}  // namespace vantrel
