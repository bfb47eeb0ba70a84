#include "platform/text.h"

#include <gtest/gtest.h>

namespace vektrin {

// What the field rules, the JSON writer and the SVG take for UTF-8: where the first bad byte is.
TEST(Text, Utf8IsStrict) {
    constexpr std::size_t Valid = std::string_view::npos;
    // clang-format off
    const std::pair<std::string_view, std::size_t> cases[] = {
        {"", Valid}, {"A\x7f", Valid}, {"\xc2\x80\xdf\xbf", Valid}, {"\xf4\x8f\xbf\xbf", Valid},
        {"\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80\xef\xbf\xbf", Valid}, {"\xf0\x90\x80\x80", Valid},
        // overlong forms; surrogates; above U+10FFFF; leads that begin nothing
        {"x\xc0\x80", 1}, {"\xc1\xbf", 0}, {"x\xe0\x80\x80", 1}, {"\xe0\x9f\xbf", 0},
        {"\xf0\x80\x80\x80", 0}, {"\xf0\x8f\xbf\xbf", 0}, {"ab\xed\xa0\x80", 2}, {"\xed\xbf\xbf", 0},
        {"\xf4\x90\x80\x80", 0}, {"\xf5\x80\x80\x80", 0}, {"\xf6\x80\x80\x80", 0},
        {"\xf7\xbf\xbf\xbf", 0}, {"\xc3\xa9\xff", 2},
        // cut short at the end or by the next character; a continuation byte without a lead
        {"ab\xe2\x82", 2}, {"\xf0\x9f\x98", 0}, {"\xe2\x82z", 0}, {"a\x80", 1}, {"\xc3\xa9\xa9", 2},
    };
    // clang-format on
    for (const auto& [bytes, firstBad] : cases)
        EXPECT_EQ(text::invalidUtf8At(bytes), firstBad) << testing::PrintToString(bytes);
}

} // namespace vektrin
