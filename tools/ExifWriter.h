#pragma once

#include <QByteArray>

// JPEG files with an EXIF block, as cameras write them: for tests and measurements.
namespace ExifWriter {

// `jpeg` with an EXIF segment right after its start marker holding `orientation` (1..8) and,
// when given, `thumbnail` (a JPEG file) as the embedded thumbnail.
QByteArray withExif(const QByteArray &jpeg, int orientation, const QByteArray &thumbnail = {});

} // namespace ExifWriter
