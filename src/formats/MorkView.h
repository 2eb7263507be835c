#pragma once
// What the Mork viewer and `quillon-cli mork` show of a Mork file: the reader's four lists as
// they are, the two dictionaries split into id and text and ordered by id, and the rows resolved
// into a grid with one column per column-dictionary entry. The window and the command line both
// take their texts from here, so they show the same.
//
// Nothing is copied out of the reader: the texts are views into its lists, valid until its next
// load, so a history of millions of cells shows without a second copy of it.

#include "formats/FFMorkSimple.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The views, in the order the window's tabs show them.
enum class TMorkView : std::uint8_t { Raw, Fields, Data, Table, Result };

// "raw", "fields", "data", "table" or "result"; none for any other name.
std::optional<TMorkView> MorkViewNamed(std::string_view name);

inline constexpr std::string_view kMorkIdCaption = "ID";
inline constexpr std::string_view kMorkFieldCaption = "Field name";
inline constexpr std::string_view kMorkDataCaption = "Data/content";

// A dictionary entry "id=text" split at its first "="; an entry without one is all id.
struct TMorkEntry {
  std::string_view Id;
  std::string_view Text;
};
TMorkEntry MorkEntry(std::string_view entry);

// The entries' positions in the list ordered by their id's text, without regard to ASCII case;
// entries of equal id keep their file order. Made once per read, so the view sorts nothing.
std::vector<std::uint32_t> MorkIdOrder(const TTextList& list);

// The most result columns besides "ID". Real files name a few dozen columns; a file that names
// millions would make every row cost as much, and its grid grow with rows times columns.
constexpr std::size_t kMorkMaxResultColumns = 1024;

// The rows of a Mork file resolved: the first column "ID" holds each row's id, then one column
// per column-dictionary entry in list order, captioned with the entry's text and holding the
// value the row has under that name. An entry that names no column (the charset cell of the
// first dictionary) still gets a column, which stays empty. Only the rows asked for are resolved.
class TMorkResult {
public:
  TMorkResult() = default;
  // Keeps file; it must outlive this and not be loaded again meanwhile.
  explicit TMorkResult(const TMorkFile& file);

  std::size_t RowCount() const { return file_ != nullptr ? file_->RowCount() : 0; }
  std::size_t ColumnCount() const { return names_.size() + 1; }
  std::string_view Caption(std::size_t column) const {
    return column == 0 ? kMorkIdCaption : names_[column - 1];
  }
  // Column-dictionary entries beyond kMorkMaxResultColumns, which get no column.
  std::size_t LeftOffColumns() const { return leftOff_; }
  // The ColumnCount cells of a row: its id, then its value per column. They view the file's lists
  // or scratch (TMorkFile::CellViews).
  void RowCells(std::size_t row, std::vector<std::string_view>& cells, std::string& scratch) const;

private:
  const TMorkFile* file_ = nullptr;
  std::vector<std::string_view> names_;
  std::size_t leftOff_ = 0;
};

// What the front ends tell the user when columns were left off ("" when none were).
std::string MorkLeftOffMessage(const TMorkResult& result);

} // namespace quillon
