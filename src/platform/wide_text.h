// The one crossing between the core's text and Windows' UTF-16: the core's
// Windows-1251 strings, the layouts' UTF-8 captions, the console's lines and
// the command line's arguments. Every byte of Windows-1251 survives the
// round trip, 0x98 included (it maps to U+0098), whatever the system's code
// page. Plain C++, built on every platform.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace cardpush {

std::wstring WideFromCp1251(std::string_view cp1251);
// Characters that Windows-1251 lacks become '?'.
std::string Cp1251FromWide(std::wstring_view text);
std::wstring WideFromUtf8(std::string_view utf8);
// A caption of the layouts; nullptr is empty.
inline std::wstring WideFromUtf8(const char* utf8)
{
    return utf8 == nullptr ? std::wstring() : WideFromUtf8(std::string_view(utf8));
}
std::string Utf8FromWide(std::wstring_view text);
// A line break as an edit control shows it: "\r\n" for every "\n".
std::wstring WithCrLf(std::wstring_view text);

}  // namespace cardpush
