// A quick path for the engine's decimal number parsing (JSON.parse, parseFloat, Number(), numeric
// literals). The engine's own parser is exact but builds big integers for every number, which
// makes a page that receives tens of thousands of coordinates spend most of its time there.
// Plain decimal texts of up to 15 significant digits are parsed here instead. Such a text is
// never exactly halfway between two doubles (the one case where the engine rounds away from
// zero rather than to even), so both give its correctly rounded value. Every other text
// (more digits, exponents, hexadecimal, white space, signs the caller refuses, trailing garbage,
// Infinity) goes to the engine's parser as before.
#include <duktape.h>

#include <charconv>
#include <cstddef>
#include <cstdint>

namespace {

// The engine's string-to-number flags this quick path depends on.
constexpr unsigned kAllowMinus = 1u << 4;
constexpr unsigned kAllowFrac = 1u << 6;

// Longest text taken here, and most significant digits (leading zeros not counted).
constexpr size_t kMaxLength = 40;
constexpr int kMaxSignificant = 15;

// True when `text` is wholly -?(0|[1-9][0-9]*)(.[0-9]+)? with at most kMaxSignificant
// significant digits and the caller's flags allow each part: then every caller of the engine's
// parser reads it as this decimal value.
bool IsPlainDecimal(const char* text, size_t length, unsigned flags)
{
    int significant = 0;
    for (size_t at = 0; at < length; ++at) {
        if (text[at] >= '1' && text[at] <= '9')
            significant = significant ? significant + 1 : 1;
        else if (text[at] == '0' && significant)
            ++significant;
    }
    if (significant > kMaxSignificant)
        return false;
    size_t i = 0;
    if (i < length && text[i] == '-') {
        if (!(flags & kAllowMinus))
            return false;
        ++i;
    }
    const auto digit = [&](size_t at) { return at < length && text[at] >= '0' && text[at] <= '9'; };
    if (!digit(i))
        return false;
    if (text[i] == '0') {
        ++i;
    } else {
        while (digit(i))
            ++i;
    }
    if (i < length && text[i] == '.') {
        if (!(flags & kAllowFrac))
            return false;
        ++i;
        if (!digit(i))
            return false;
        while (digit(i))
            ++i;
    }
    return i == length;
}

}  // namespace

// Called by the engine with the text to parse on the top of the stack and the radix 10. Returns
// 1 after replacing the text with its number, 0 (the stack untouched) to let the engine parse it.
int kv_duk_parse_decimal(duk_context* ctx, unsigned flags)
{
    duk_size_t length = 0;
    const char* text = duk_get_lstring(ctx, -1, &length);
    if (!text || length == 0 || length > kMaxLength || !IsPlainDecimal(text, length, flags))
        return 0;
    double value = 0;
    const std::from_chars_result result = std::from_chars(text, text + length, value);
    if (result.ec != std::errc() || result.ptr != text + length)
        return 0;
    duk_pop(ctx);
    duk_push_number(ctx, value);
    return 1;
}
