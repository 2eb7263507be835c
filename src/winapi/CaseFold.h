#pragma once
// The one fold by which Windows names (file and folder names, registry key and value names)
// compare without regard to case, for UTF-8 text.
//
// Windows compares such names by mapping each UTF-16 unit through the system's upper-case table
// (NTFS keeps a copy in $UpCase; the registry uses the same table) and comparing the results. Ours
// maps the letters user, folder and key names hold in practice:
//   ASCII a-z; Latin-1 à-þ (not ÷) and ÿ -> Ÿ; the case pairs of Latin Extended-A (Ā-ž);
//   Greek α-ω with final ς -> Σ, the accented ά έ ή ί ό ύ ώ and ϊ ϋ; Cyrillic а-я and ѐ-џ.
// Every other character stands for itself. Each mapping keeps the length of the character's UTF-8
// form, so a folded text lines up byte for byte with the original. The dotless ı and the dotted İ
// are left as they are (their partners are ASCII letters of another length); Windows too keeps
// them apart from i and I. A byte that starts no valid UTF-8 sequence stands for itself, so
// damaged names still compare byte for byte and never equal a valid character.

#include <cstddef>
#include <string>
#include <string_view>

namespace quillon::winapi {

// The upper-case form of a code point under the table above.
char32_t FoldCase(char32_t c);

// Decodes one character of UTF-8 at s[i] into cp and answers its length in bytes. A byte that is
// not valid UTF-8 (overlong, surrogate, truncated) yields 0xDC00 + the byte, a value valid UTF-8
// never yields, with length 1.
std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t& cp);

// Whether two names are the same name without regard to case.
bool SameName(std::string_view a, std::string_view b);
// <0, 0 or >0 as a sorts before, with or after b once both are folded (code point order).
int CompareNames(std::string_view a, std::string_view b);
// The text with every character folded, in UTF-8 of the same length (for searching in it).
std::string FoldedName(std::string_view text);
// The folded code points of a name (for matching many times against one mask).
void FoldInto(std::string_view text, std::u32string& out);

} // namespace quillon::winapi
