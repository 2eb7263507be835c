#pragma once
// The text fields of an entry. A profile's lists hold hundreds of thousands of entries with up to
// eight texts each, most of them short or empty. As std::string each field took 32 bytes and, past
// 15 bytes, a heap block of its own: the fields cost more than the texts they hold. A TItemText is
// one pointer (null for the empty text); its bytes, their length and a terminating zero are packed
// into shared blocks of 64 KB that are given back once no text in them is left. A text of 4 KB or
// more gets a block of its own.
//
// It reads like a std::string where entries are used: assignment from std::string, string_view
// and C strings, comparison, empty(), size(), c_str(), conversion to std::string_view and
// std::string, concatenation with +.

#include <compare>
#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

namespace quillon {

class TItemText {
public:
  static constexpr std::size_t npos = std::string_view::npos;

  TItemText() = default;
  TItemText(std::string_view text) { Assign(text); }
  TItemText(const std::string& text) { Assign(text); }
  TItemText(const char* text) { Assign(text); }
  TItemText(const TItemText& other) { Assign(other.view()); }
  TItemText(TItemText&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
  ~TItemText() { Release(); }

  TItemText& operator=(std::string_view text) {
    Assign(text);
    return *this;
  }
  TItemText& operator=(const std::string& text) { return *this = std::string_view(text); }
  TItemText& operator=(const char* text) { return *this = std::string_view(text); }
  TItemText& operator=(const TItemText& other) {
    if (&other != this)
      Assign(other.view());
    return *this;
  }
  TItemText& operator=(TItemText&& other) noexcept {
    if (&other != this) {
      Release();
      block_ = other.block_;
      other.block_ = nullptr;
    }
    return *this;
  }

  bool empty() const { return block_ == nullptr; }
  std::size_t size() const;
  std::size_t length() const { return size(); }
  const char* data() const;
  const char* c_str() const { return data(); }
  std::string_view view() const { return {data(), size()}; }
  std::string str() const { return std::string(view()); }
  operator std::string_view() const { return view(); }
  operator std::string() const { return str(); }
  void clear() { Release(); }

  char operator[](std::size_t i) const { return data()[i]; }
  char back() const { return view().back(); }
  std::string_view::const_iterator begin() const { return view().begin(); }
  std::string_view::const_iterator end() const { return view().end(); }
  std::size_t find(std::string_view s, std::size_t pos = 0) const { return view().find(s, pos); }
  std::size_t find(char c, std::size_t pos = 0) const { return view().find(c, pos); }
  std::size_t rfind(char c, std::size_t pos = npos) const { return view().rfind(c, pos); }
  std::size_t find_last_of(std::string_view s, std::size_t pos = npos) const {
    return view().find_last_of(s, pos);
  }
  std::string substr(std::size_t pos, std::size_t count = npos) const {
    return std::string(view().substr(pos, count));
  }
  bool starts_with(std::string_view s) const { return view().starts_with(s); }
  bool ends_with(std::string_view s) const { return view().ends_with(s); }
  int compare(std::string_view s) const { return view().compare(s); }

  friend bool operator==(const TItemText& a, const TItemText& b) { return a.view() == b.view(); }
  friend bool operator==(const TItemText& a, std::string_view b) { return a.view() == b; }
  friend bool operator==(const TItemText& a, const std::string& b) { return a.view() == b; }
  friend bool operator==(const TItemText& a, const char* b) { return a.view() == b; }
  friend std::strong_ordering operator<=>(const TItemText& a, const TItemText& b) {
    return a.view() <=> b.view();
  }
  friend std::strong_ordering operator<=>(const TItemText& a, std::string_view b) {
    return a.view() <=> b;
  }

private:
  void Assign(std::string_view text);
  void Release();

  // Points at the text's header in its block; see ItemText.cpp.
  char* block_ = nullptr;
};

std::string operator+(const TItemText& a, const TItemText& b);
std::string operator+(const TItemText& a, std::string_view b);
std::string operator+(std::string_view a, const TItemText& b);
std::string operator+(const TItemText& a, const std::string& b);
std::string operator+(const std::string& a, const TItemText& b);
std::string operator+(std::string&& a, const TItemText& b);
std::string operator+(const TItemText& a, const char* b);
std::string operator+(const char* a, const TItemText& b);
std::string operator+(const TItemText& a, char b);
std::string operator+(char a, const TItemText& b);
std::ostream& operator<<(std::ostream& out, const TItemText& text);

} // namespace quillon
