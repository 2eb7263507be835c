#pragma once
// Texts for widgets. Bytes from the stores show as UTF-8 where they are valid UTF-8, else as
// Windows-1252 (model/CodePageText.h), as in the command-line program.

#include <QString>

class QTableView;
class QWidget;

#include <functional>
#include <string_view>

namespace quillon {

QString DisplayText(std::string_view bytes);

// Tells the user something in a message box: a file that could not be read, an action that
// failed. Every window takes one, so tests can record the message instead.
using TErrorReporter = std::function<void(QWidget* window, const QString& message)>;

// A text for a button or menu caption, where "&" would otherwise mark a shortcut letter.
QString EscapeMnemonics(const QString& text);

// A measure of the windows' design, in pixels for an 8-point font whose digits are 6 pixels wide,
// for the widget's font: a wider desktop font widens it in proportion, so that a date still fits
// its column.
int ScaledPixels(const QWidget& widget, int pixels);

// Makes view a read-only report of whole rows, one selected at a time, each column resizable by
// the user. Every row has the same height, so a list of a million rows needs no measuring.
void SetUpReportView(QTableView& view);

} // namespace quillon
