// The one crossing between the core's Windows-1251 strings and Qt's Unicode
// text. Every byte survives the round trip, including the byte 0x98 that
// the code page leaves undefined.
#pragma once

#include <QString>
#include <filesystem>
#include <string>
#include <string_view>

namespace cardpush {

QString ToQString(std::string_view cp1251);
// Characters that Windows-1251 lacks become '?'.
std::string FromQString(const QString& text);

// A path or file name as the operator reads it: the system's name in its
// composed form (NFC), so that a letter written decomposed shows as one;
// on POSIX a byte that is not UTF-8 shows as the replacement character.
QString PathToQString(const std::filesystem::path& path);
// The path a widget's text names (a folder the dialog chose).
std::filesystem::path PathFromQString(const QString& text);

}  // namespace cardpush
