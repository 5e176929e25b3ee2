// The one crossing between the core's Windows-1251 strings and Qt's Unicode
// text. Every byte survives the round trip, including the byte 0x98 that
// the code page leaves undefined.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace cardpush {

QString ToQString(std::string_view cp1251);
// Characters that Windows-1251 lacks become '?'.
std::string FromQString(const QString& text);

}  // namespace cardpush
