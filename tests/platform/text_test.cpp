#include "platform/text.h"

#include <gtest/gtest.h>

namespace vektrin {
namespace {

constexpr std::size_t Valid = std::string_view::npos;

// Where the field rules, the JSON writer and the SVG part ways with ill-formed UTF-8.
TEST(Text, Utf8IsStrict) {
    const struct {
        const char* label;
        std::string_view bytes;
        std::size_t firstBad;
    } cases[] = {
        {"empty", "", Valid},
        {"one byte", "A~\x7f", Valid},
        {"two bytes", "\xc2\x80\xdf\xbf", Valid},
        {"three bytes", "\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80\xef\xbf\xbf", Valid},
        {"four bytes", "\xf0\x90\x80\x80", Valid},
        {"U+10FFFF", "\xf4\x8f\xbf\xbf", Valid},
        {"overlong C0 80", "x\xc0\x80", 1},
        {"overlong C1 BF", "\xc1\xbf", 0},
        {"overlong E0 80 80", "x\xe0\x80\x80", 1},
        {"overlong E0 9F BF", "\xe0\x9f\xbf", 0},
        {"overlong F0 80 80 80", "\xf0\x80\x80\x80", 0},
        {"overlong F0 8F BF BF", "\xf0\x8f\xbf\xbf", 0},
        {"surrogate ED A0 80", "ab\xed\xa0\x80", 2},
        {"surrogate ED BF BF", "\xed\xbf\xbf", 0},
        {"above U+10FFFF", "\xf4\x90\x80\x80", 0},
        {"lead F5", "\xf5\x80\x80\x80", 0},
        {"lead F6", "\xf6\x80\x80\x80", 0},
        {"lead F7", "\xf7\xbf\xbf\xbf", 0},
        {"lead F8", "\xf8\x88\x80\x80\x80", 0},
        {"byte FF", "\xc3\xa9\xff", 2},
        {"truncated at the end", "ab\xe2\x82", 2},
        {"truncated four", "\xf0\x9f\x98", 0},
        {"cut short by a letter",
         "\xe2\x82"
         "A",
         0},
        {"stray continuation", "a\x80", 1},
        {"continuation after a character", "\xc3\xa9\xa9", 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(text::invalidUtf8At(c.bytes), c.firstBad) << c.label;
}

} // namespace
} // namespace vektrin
