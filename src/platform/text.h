#pragma once
// Small text helpers every layer uses: trimming, ASCII case, UTF-8 length and validity, and the
// fixed "YYYY-MM-DD HH:MM:SS" stamps of files, the socket and vektrinctl.

#include "platform/date_time.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace vektrin::text {

// Without the leading and trailing characters found in `blanks`.
std::string_view trimmed(std::string_view text, std::string_view blanks = " \t");
// Without leading and trailing blanks and control characters (every byte up to the blank).
std::string_view trimmedOfControls(std::string_view text);
// ASCII letters in lower case; other bytes (UTF-8 included) as they are.
std::string lower(std::string_view text);
std::string upper(std::string_view text);
// Characters of UTF-8 text: every byte that does not continue a character.
std::size_t utf8Length(std::string_view text);
// The bytes of the well-formed UTF-8 character that begins at `at` (1 to 4), or 0 where none
// does: an overlong form, a surrogate, a code above U+10FFFF, a sequence cut short, a stray
// continuation byte. What the field rules accept is what JSON and XML can carry.
std::size_t utf8CharacterAt(std::string_view text, std::size_t at);
// The offset of the first byte that begins no well-formed UTF-8 character, or npos.
std::size_t invalidUtf8At(std::string_view text);
// 0..99 with a leading zero.
std::string twoDigits(int value);

enum class Stamp { Date, Minutes, Seconds };
// "YYYY-MM-DD", "YYYY-MM-DD HH:MM" or "YYYY-MM-DD HH:MM:SS".
std::string isoStamp(DateTime value, Stamp precision = Stamp::Seconds);

} // namespace vektrin::text
