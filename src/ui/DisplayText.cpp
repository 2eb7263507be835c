#include "ui/DisplayText.h"

#include "model/CodePageText.h"

namespace quillon {

QString DisplayText(std::string_view bytes) {
  if (IsValidUtf8(bytes))
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  const std::string text = Windows1252ToUtf8(bytes);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString EscapeMnemonics(const QString& text) {
  QString escaped = text;
  escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
  return escaped;
}

} // namespace quillon
