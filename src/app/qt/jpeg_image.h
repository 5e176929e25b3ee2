// JPEG pictures decoded with libjpeg.
#pragma once

#include <QByteArray>
#include <QImage>

namespace cardpush {

// The picture in jpeg, or a null image when the data is not a JPEG it can
// decode (libjpeg's own warnings and errors are not printed).
QImage DecodeJpeg(const QByteArray& jpeg);

}  // namespace cardpush
