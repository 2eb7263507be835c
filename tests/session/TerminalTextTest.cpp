#include "session/TerminalText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using quillon::TerminalText;

TEST(TerminalText, EscapesWhatWouldSplitACellOrReachTheTerminal) {
  const struct {
    std::string in, out;
  } cases[] = {
      // Nothing to escape: printed as it is, backslashes too, so paths read as usual.
      {"C:\\Users\\tom\\AppData\\Roaming\\", "C:\\Users\\tom\\AppData\\Roaming\\"},
      {"\\\\server\\share", "\\\\server\\share"},
      {"caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9 \xe2\x82\xac"},
      {"", ""},
      // C0 controls and DEL.
      {"a\tb", "a\\tb"},
      {"line\r\nnext", "line\\r\\nnext"},
      {"\x1b[2J\x07", "\\x1b[2J\\x07"},
      {std::string("nul\0x", 5), "nul\\x00x"},
      {"\x01\x1f\x7f", "\\x01\\x1f\\x7f"},
      // In a text that shows an escape, every backslash is doubled.
      {"C:\\tmp\tx", "C:\\\\tmp\\tx"},
      // C1 controls as UTF-8, and as the Windows-1252 reading of bytes that are not UTF-8
      // (0x81 is unassigned there and stays U+0081; 0x80 is the euro sign).
      {"\xc2\x9b"
       "31m\xc2\x85",
       "\\x9b31m\\x85"},
      {"\x81\x80", "\\x81\xe2\x82\xac"},
      // Bidi controls and marks, line and paragraph separators.
      {"abc\xe2\x80\xaegpj.exe", "abc\\u202egpj.exe"},
      {"\xe2\x81\xa6x\xe2\x81\xa9", "\\u2066x\\u2069"},
      {"\xe2\x80\x8f\xd8\x9c", "\\u200f\\u061c"},
      {"a\xe2\x80\xa8"
       "b",
       "a\\u2028b"},
      // Their neighbours stay: en dash U+2013, zero-width joiner U+200D, word joiner U+2060.
      {"\xe2\x80\x93\xe2\x80\x8d\xe2\x81\xa0", "\xe2\x80\x93\xe2\x80\x8d\xe2\x81\xa0"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(TerminalText(c.in), c.out) << c.in;
}

} // namespace
