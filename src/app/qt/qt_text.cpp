#include "app/qt/qt_text.h"

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

QString PathToQString(const std::filesystem::path& path)
{
#ifdef _WIN32
    const QString text = QString::fromStdWString(path.native());
#else
    const QString text = QString::fromStdString(path.native());
#endif
    return text.normalized(QString::NormalizationForm_C);
}

std::filesystem::path PathFromQString(const QString& text)
{
#ifdef _WIN32
    return text.toStdWString();
#else
    return text.toStdString();
#endif
}

}  // namespace cardpush
