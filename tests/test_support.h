#pragma once

// Pictures, files and folders as the tests make and read them.

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>

#include <functional>

// A picture whose pixel at (x, y) is colour(x, y).
inline QImage painted(QSize size, const std::function<QRgb(int, int)> &colour)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, colour(x, y));
    return image;
}

// Every channel changes along x or y, wrapping past 255.
inline QImage gradient(QSize size)
{
    return painted(size, [](int x, int y) { return qRgb(x * 7, y * 5, x + y); });
}

inline QImage filled(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// A picture in a file format Qt writes.
inline QByteArray encoded(const QImage &image, const char *format = "png")
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return buffer.data();
}

// JPEG bytes with an XMP segment of packet put in after the start marker.
inline QByteArray withXmpSegment(QByteArray jpeg, const QByteArray &packet)
{
    const QByteArray body = QByteArray("http://ns.adobe.com/xap/1.0/", 29) + packet;
    const qsizetype length = body.size() + 2;
    return jpeg.insert(2, QByteArray("\xff\xe1") + char(length >> 8) + char(length & 0xff) + body);
}

// Empty if the file cannot be read.
inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The path, or empty if the bytes could not all be written.
inline QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? path : QString();
}

// Every entry of a folder by name, hidden ones and sockets included.
inline QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}
