#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// The quality both the save button and the preview ask for.
inline constexpr int kJpegQuality = 80;

// Writes the image as JPEG to path, whatever its extension. The file is replaced whole or not
// at all: on false the old file is untouched and nothing is left beside it. A path that is a
// folder or a device, a missing folder, and a read-only file or folder are refused.
bool saveJpeg(const QImage &image, const QString &path, int quality);
