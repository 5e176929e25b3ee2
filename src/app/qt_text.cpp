#include "app/qt_text.h"

#include "platform/cp1251.h"

namespace cardpush {

QString ToQString(std::string_view cp1251)
{
    return QString::fromStdString(Cp1251ToUtf8(cp1251));
}

std::string FromQString(const QString& text)
{
    return Utf8ToCp1251(text.toStdString());
}

}  // namespace cardpush
