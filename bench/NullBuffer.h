#pragma once
// An output buffer that counts what is written and keeps nothing, as a pipe to /dev/null would:
// benchmarks of printing commands measure the making of the text, not a terminal.

#include <cstddef>
#include <streambuf>

class TNullBuffer : public std::streambuf {
public:
  std::size_t Bytes = 0;

protected:
  std::streamsize xsputn(const char*, std::streamsize count) override {
    Bytes += static_cast<std::size_t>(count);
    return count;
  }
  int overflow(int c) override {
    ++Bytes;
    return c;
  }
};
