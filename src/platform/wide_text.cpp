#include "platform/wide_text.h"

#include "platform/cp1251.h"

namespace cardpush {

std::wstring WideFromCp1251(std::string_view cp1251)
{
    std::wstring text;
    text.reserve(cp1251.size());
    for (const char byte : cp1251) {
        const auto b = static_cast<unsigned char>(byte);
        text.push_back(b < 0x80 ? static_cast<wchar_t>(b)
                                : static_cast<wchar_t>(cp1251_detail::kHighHalf[b - 0x80]));
    }
    return text;
}

std::string Cp1251FromWide(std::wstring_view text)
{
    return Utf8ToCp1251(Utf8FromWide(text));
}

std::wstring WideFromUtf8(std::string_view utf8)
{
    std::wstring text;
    text.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const char32_t cp = cp1251_detail::NextCodePoint(utf8, i);
        if (cp >= 0x10000) {
            text.push_back(static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10)));
            text.push_back(static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            text.push_back(static_cast<wchar_t>(cp));
        }
    }
    return text;
}

std::string Utf8FromWide(std::wstring_view text)
{
    std::string out;
    out.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = static_cast<char16_t>(text[i]);
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size() &&
            static_cast<char16_t>(text[i + 1]) >= 0xDC00 &&
            static_cast<char16_t>(text[i + 1]) < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char16_t>(text[++i]) - 0xDC00);
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;  // a surrogate alone
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::wstring WithCrLf(std::wstring_view text)
{
    std::wstring out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r')) {
            out.push_back(L'\r');
        }
        out.push_back(text[i]);
    }
    return out;
}

}  // namespace cardpush
