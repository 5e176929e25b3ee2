#include "platform/cp1251.h"

namespace cardpush {

std::string Cp1251ToUtf8(std::string_view cp1251)
{
    std::string out;
    out.reserve(cp1251.size() * 2);
    for (const char c : cp1251) {
        const auto byte = static_cast<unsigned char>(c);
        const char32_t cp = byte < 0x80 ? byte : cp1251_detail::kHighHalf[byte - 0x80];
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string Utf8ToCp1251(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        out += cp1251_detail::FromCodePoint(cp1251_detail::NextCodePoint(utf8, i));
    }
    return out;
}

}  // namespace cardpush
