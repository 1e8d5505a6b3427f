#include "formats/psd_common.h"

namespace velmora::psd {

namespace {

// Decodes one code point; malformed bytes come out as U+FFFD.
char32_t next_code_point(std::string_view text, std::size_t& i)
{
    const auto c = static_cast<unsigned char>(text[i++]);
    if (c < 0x80)
        return c;
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
    if (extra < 0 || c >= 0xF8)
        return 0xFFFD;
    char32_t cp = c & (0x3F >> extra);
    for (int k = 0; k < extra; ++k) {
        if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            return 0xFFFD;
        cp = cp << 6 | (static_cast<unsigned char>(text[i++]) & 0x3F);
    }
    return cp > 0x10FFFF ? 0xFFFD : cp;
}

void append_utf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | cp >> 6);
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | cp >> 12);
        out += char(0x80 | (cp >> 6 & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | cp >> 18);
        out += char(0x80 | (cp >> 12 & 0x3F));
        out += char(0x80 | (cp >> 6 & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

} // namespace

std::u16string utf8_to_utf16(std::string_view text)
{
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = next_code_point(text, i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += char16_t(0xD800 + (cp >> 10));
            out += char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            out += char16_t(cp);
        }
    }
    return out;
}

std::string utf16_to_utf8(std::u16string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;
        }
        append_utf8(out, cp);
    }
    return out;
}

std::string latin1_to_utf8(std::string_view text)
{
    std::string out;
    for (char c : text)
        append_utf8(out, static_cast<unsigned char>(c));
    return out;
}

std::string utf8_to_latin1(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const char32_t cp = next_code_point(text, i);
        out += cp < 0x100 ? char(cp) : '?';
    }
    return out;
}

} // namespace velmora::psd
