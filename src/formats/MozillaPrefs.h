#pragma once
// The preferences file of the Mozilla family ("prefs.js"): one statement per line,
//
//   user_pref("browser.startup.homepage", "http://www.example.com/");
//   user_pref("browser.cache.disk.capacity", 50000);
//
// Each user_pref statement becomes a typed entry that callers look up and change. The file also
// holds what this list does not take apart (comments, pref() and lockPref() statements,
// strings with escaped quotes, blank lines); writing back keeps all of it where it was, byte for
// byte, and rewrites only the lines whose entry changed. New entries go at the end.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillon {

enum TPrefDataType : std::uint8_t { pdString, pdBoolean, pdInteger };

class TMozillaPrefsItem {
public:
  TMozillaPrefsItem() = default;
  TMozillaPrefsItem(const TMozillaPrefsItem&) = delete;
  TMozillaPrefsItem& operator=(const TMozillaPrefsItem&) = delete;

  bool DataBoolean = false;     // value of a pdBoolean entry
  std::int32_t DataInteger = 0; // value of a pdInteger entry
  std::string DataString;       // the value's text as read, for every type
  TPrefDataType DataType = pdString;
  std::string Name; // without quotes

  // Name, or the class name when it is empty.
  std::string DisplayName() const;

private:
  friend class TMozillaPrefsList;
  // Where the file line the entry was read from lies in the file's text (without its break);
  // kNoLine for an entry added since.
  static constexpr std::size_t kNoLine = static_cast<std::size_t>(-1);
  std::size_t lineOffset_ = kNoLine;
  std::size_t lineLength_ = 0;
};

class TMozillaPrefsList {
public:
  TMozillaPrefsList() = default;
  TMozillaPrefsList(const TMozillaPrefsList&) = delete;
  TMozillaPrefsList& operator=(const TMozillaPrefsList&) = delete;
  TMozillaPrefsList(TMozillaPrefsList&&) = default;
  TMozillaPrefsList& operator=(TMozillaPrefsList&&) = default;

  // Empties the list, then reads the file. A file that cannot be read raises EFOpenError, one
  // larger than kPrefsJsLimit or whose entries would take more than its memory budget
  // EFileTooLarge (the list stays empty).
  void LoadFromFile(const std::string& fileName);
  // Replaces the file with the list's text (SaveToText). Until the new file is in place the old
  // one stays as it was; a failure raises EFCreateError.
  void SaveToFile(const std::string& fileName) const;

  // The same from and to memory.
  void LoadFromText(std::string text);
  // The header lines "# Mozilla User Preferences", "# Modified by Brindleaf" and an empty line
  // (in place of the file's own title line and the empty line after it), then every line of the
  // file read, with the entries changed since written anew, then one line per added entry. The
  // file's first line break is used for new lines; CR LF for a list not read from a file.
  std::string SaveToText() const;

  // A new, empty entry at the end.
  TMozillaPrefsItem& Add();
  int Count() const { return static_cast<int>(items_.size()); }
  // index 0 .. Count()-1; anything else throws std::out_of_range.
  TMozillaPrefsItem& Items(int index);
  const TMozillaPrefsItem& Items(int index) const;

  // Whether an entry's Name equals name exactly (case-sensitive).
  bool Exists(std::string_view name) const;
  // Whether an entry's Name equals name ignoring case: the entry the lookups below find.
  bool Contains(std::string_view name) const { return FindFirst(name) >= 0; }
  // DataString of the first entry whose Name equals name ignoring case; empty when none.
  std::string ReadString(std::string_view name) const;
  // DataInteger of the first such entry when it is pdInteger; 0 otherwise.
  std::int32_t ReadInteger(std::string_view name) const;
  // Sets DataString of the first entry whose Name equals name ignoring case, or appends a
  // pdString entry. A pdBoolean or pdInteger entry keeps its type only when value is a text of
  // that type (its typed value follows); anything else makes it pdString, so that what was
  // written is what the file will hold.
  void WriteString(std::string_view name, std::string_view value);

private:
  // The entry's line as it goes back into the file: unchanged, or with its statement written
  // anew.
  void AppendLine(std::string& out, const TMozillaPrefsItem& item) const;
  // Position of the first entry of that name ignoring case; -1 when none.
  std::ptrdiff_t FindFirst(std::string_view name) const;
  void RebuildIndex() const;

  // The file as read. Only the entries remember their lines; everything between them goes back
  // from here as it stands, so a file of many lines that are not statements costs nothing per
  // line.
  std::string text_;
  std::size_t headerLines_ = 0; // leading lines the header replaces
  std::size_t headerEnd_ = 0;   // where the text behind them begins
  std::string lineBreak_ = "\r\n";
  std::vector<std::unique_ptr<TMozillaPrefsItem>> items_;

  // Entries by their name folded to lower case, in list order. Items() and Add() hand out
  // entries for change and so drop the index; the next lookup builds it again. (An entry kept
  // from such a call and renamed after a later lookup is not seen by the index.)
  mutable std::unordered_map<std::string, std::vector<std::size_t>> index_;
  mutable bool indexValid_ = false;
};

} // namespace quillon
