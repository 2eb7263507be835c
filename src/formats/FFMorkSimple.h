#pragma once
// Reads the Mork text database that the older Mozilla-family profiles keep their history in
// ("history.dat"); Thunderbird's address books and mail summaries use the same format.
//
// This is a one-pass character scanner, not a full Mork parser. It collects four lists:
//   RawList    one line per parenthesised cell, "<scanner state> | <cell as written>"
//   FieldList  the column dictionary (the file's first dictionary), "id=name"
//   DataList   the value dictionaries (later ones), "id=value"
//   TableList  one line per table row, "rowid=<cells as comma text>"
// and resolves a row's cells ("^82^8F", "^84=12") to column names and values through the two
// dictionaries. Cells are stored with their "$XX" escapes decoded; everything else stays as
// written (a backslash is kept, a ")" ends a cell, braces and group markers are plain text).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The scanner's states; their names appear in RawList.
enum class TMorkState : std::uint8_t {
  None,
  Fields,
  FieldsSub,
  FieldsLeft,
  Contents,
  ContentsLeft,
  Assignment,
  AssignmentData,
  AssignmentLeft,
};

std::string_view MorkStateName(TMorkState state);

// A list of text lines held in one block of memory: a large history holds millions of cells,
// and one allocation per cell would cost more than the scan itself.
class TTextList {
public:
  class const_iterator {
  public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;

    const_iterator() = default;
    const_iterator(const TTextList* list, std::size_t index) : list_(list), index_(index) {}
    std::string_view operator*() const { return (*list_)[index_]; }
    const_iterator& operator++() {
      ++index_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++index_;
      return before;
    }
    bool operator==(const const_iterator& other) const { return index_ == other.index_; }

  private:
    const TTextList* list_ = nullptr;
    std::size_t index_ = 0;
  };

  std::size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }
  std::string_view operator[](std::size_t index) const {
    const std::size_t begin = index == 0 ? 0 : ends_[index - 1];
    return std::string_view(text_).substr(begin, ends_[index] - begin);
  }
  std::string_view back() const { return (*this)[size() - 1]; }
  // The memory the lines take (room reserved but unused aside).
  std::size_t Bytes() const { return text_.size() + ends_.size() * sizeof(std::size_t); }
  // The most memory the list has taken, or would with bytes more text in lines more lines: what
  // the lines take, and twice that for a part that has outgrown the room reserved for it, since
  // it grew by copying itself and held both copies for a moment.
  std::size_t PeakBytesWith(std::size_t bytes, std::size_t lines) const {
    const std::size_t text = text_.size() + bytes;
    const std::size_t ends = (ends_.size() + lines) * sizeof(std::size_t);
    return (text > textRoom_ ? 2 * text : text) + (ends > endsRoom_ ? 2 * ends : ends);
  }
  // Whether text lies within the list's own lines.
  bool Holds(std::string_view text) const {
    const std::less<const char*> before;
    return !before(text.data(), text_.data()) &&
           !before(text_.data() + text_.size(), text.data() + text.size());
  }
  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, size()}; }

  void clear() {
    text_.clear();
    ends_.clear();
  }
  void reserve(std::size_t bytes, std::size_t lines) {
    text_.reserve(bytes);
    ends_.reserve(lines);
    textRoom_ = text_.capacity();
    endsRoom_ = ends_.capacity() * sizeof(std::size_t);
  }
  // Lines are built by appending to the open end of the text and then closing the line.
  std::string& OpenLine() { return text_; }
  void CloseLine() { ends_.push_back(text_.size()); }

private:
  std::string text_;
  std::vector<std::size_t> ends_;
  std::size_t textRoom_ = 0; // bytes of room reserved
  std::size_t endsRoom_ = 0;
};

class TMorkFile {
public:
  // Replaces the lists with what fileName holds. A file that cannot be read raises
  // EFOpenError; one larger than kMorkLimit, or whose lists would take more than the memory a
  // file of its size may (a file that repeats cells without end), raises EFileTooLarge. Both
  // leave the lists empty; content raises nothing else.
  void LoadFromFile(const std::string& fileName);
  // The same for bytes already in memory, except that lists which would take too much memory
  // end where they reached it.
  void LoadFromBuffer(std::string bytes);

  // The memory the reader holds: the file's bytes (while kept), the lists and their indexes.
  std::uint64_t HeldBytes() const;
  // The size of what the last load read, kept or not.
  std::uint64_t FileSize() const { return fileSize_; }

  // Whether a load fills RawList (the default). A reader of rows alone turns it off: the raw
  // list is a second copy of every cell.
  bool KeepRawList = true;
  // Whether Buffer() keeps the file's bytes after a load (the default). The lists hold copies of
  // what they list, so a reader of rows alone turns it off and gives the file's memory back.
  bool KeepBuffer = true;

  const std::string& Buffer() const { return buffer_; }
  const TTextList& RawList() const { return rawList_; }
  const TTextList& FieldList() const { return fieldList_; }
  const TTextList& DataList() const { return dataList_; }
  const TTextList& TableList() const { return tableList_; }

  std::size_t RowCount() const { return tableList_.size(); }
  // The row's id (the TableList entry up to its first "="); empty past the last row.
  std::string RowId(std::size_t row) const;
  // The value of the row's first cell whose column resolves to exactly name; empty if none.
  std::string CellValue(std::string_view name, std::size_t row) const;
  // CellValue for several names in one walk over the row's cells: values[i] gets what
  // CellValue(names[i], row) gives. A reader of whole rows looks each cell up once this way.
  void CellValues(std::size_t row, std::span<const std::string_view> names,
                  std::span<std::string> values) const;
  // Resolves one cell of a row: "^<column id>=<value>" or "^<column id>^<value id>". A cell
  // that does not begin with "^" leaves both outputs as they were.
  void ResolveCell(std::string_view cell, std::string& columnName, std::string& value) const;
  // CellValues without copies: the values view the reader's own lists and last until the next
  // load, except those of quoted cells (values with a blank, a comma or a quote), which are
  // unquoted into scratch and last until its next change. A reader that counts an entry's cost
  // before making it looks here first.
  void CellViews(std::size_t row, std::span<const std::string_view> names,
                 std::span<std::string_view> values, std::string& scratch) const;
  // Replaces each "$" followed by two hex digits with the byte they give.
  static std::string DecodeEscapes(std::string_view text);

private:
  // Finds a dictionary entry by its id (the text before its first "="), ignoring case; the
  // first entry of an id wins. It holds entry numbers, not pointers into the list, so it
  // survives moves and copies of the reader.
  class TIdIndex {
  public:
    void Build(const TTextList& list);
    void Clear() {
      slots_.clear();
      direct_.clear();
    }
    // The entry's value (the text after the id's "="); empty when the id is not there.
    std::string_view Find(const TTextList& list, std::string_view id) const;
    std::size_t Bytes() const {
      return slots_.size() * sizeof(TSlot) + direct_.size() * sizeof(std::uint32_t);
    }

  private:
    struct TSlot {
      std::uint32_t Entry = 0; // entry number + 1; 0 = free
      std::uint32_t IdLength = 0;
    };
    // A table indexed by the id's number, when every id is a hex number and they are dense.
    bool BuildDirect(const TTextList& list, std::size_t count);

    std::vector<TSlot> slots_;          // a power of two in size
    std::vector<std::uint32_t> direct_; // entry number + 1 by id number; 0 = none
  };

  void Clear();
  // False when the lists ended where they reached the memory the file may take.
  bool Parse();
  // Calls onValue(i, value) for each names[i] the row has a cell of, with the value CellValue
  // gives; the value views the lists.
  template <class F>
  void ForEachNamedCell(std::size_t row, std::span<const std::string_view> names,
                        F&& onValue) const;
  // The value a cell's raw value stands for: an atom's text for "^<id>", else itself.
  std::string_view ResolveValue(std::string_view rawValue) const;

  std::string buffer_;
  std::uint64_t fileSize_ = 0;
  TTextList rawList_;
  TTextList fieldList_;
  TTextList dataList_;
  TTextList tableList_;
  TIdIndex fieldIndex_;
  TIdIndex dataIndex_;
};

} // namespace quillon
