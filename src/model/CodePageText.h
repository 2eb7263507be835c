#pragma once
// Entry texts are bytes as the stores hold them. They show as UTF-8 where they are valid UTF-8,
// else as Windows-1252, the code page the older browsers wrote. Both front ends show them so.

#include <string>
#include <string_view>

namespace quillon {

// Well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no cut sequence.
bool IsValidUtf8(std::string_view bytes);

// Every byte as its Windows-1252 character, in UTF-8. The five bytes the code page leaves
// unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) keep their C1 control code point.
std::string Windows1252ToUtf8(std::string_view bytes);

// The bytes themselves when they are valid UTF-8, else their Windows-1252 reading.
std::string DisplayUtf8(std::string_view bytes);

} // namespace quillon
