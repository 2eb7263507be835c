#pragma once
// Texts for widgets. Bytes from the stores show as UTF-8 where they are valid UTF-8, else as
// Windows-1252 (model/CodePageText.h), as in the command-line program.

#include <QString>

#include <string_view>

namespace quillon {

QString DisplayText(std::string_view bytes);

// A text for a button or menu caption, where "&" would otherwise mark a shortcut letter.
QString EscapeMnemonics(const QString& text);

} // namespace quillon
