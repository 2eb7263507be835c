#pragma once
// Entry texts are bytes as the stores hold them. They show as UTF-8 where they are valid UTF-8,
// else as Windows-1252, the code page the older browsers wrote.

#include <QString>

#include <string_view>

namespace quillon {

QString DisplayText(std::string_view bytes);

// A text for a button or menu caption, where "&" would otherwise mark a shortcut letter.
QString EscapeMnemonics(const QString& text);

} // namespace quillon
