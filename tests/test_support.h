#pragma once

// Pictures, files and folders as the tests make and read them.

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>
#include <QtEndian>

#include <algorithm>
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

// The largest difference between two colours in any one channel.
inline int channelDistance(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

// A picture in a file format Qt writes, with the orientation tag that undoes turn.
inline QByteArray
encoded(const QImage &image, const char *format = "png", int quality = -1,
        QImageIOHandler::Transformations turn = QImageIOHandler::TransformationNone)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setTransformation(turn);
    writer.write(image);
    return buffer.data();
}

inline QByteArray bigEndian(quint32 value, int bytes = 4)
{
    const quint32 big = qToBigEndian(value);
    return QByteArray(reinterpret_cast<const char *>(&big), 4).right(bytes);
}

// Little-endian, as BMP, ICO and RIFF files store numbers.
inline QByteArray le(quint32 value, int bytes = 4)
{
    const quint32 little = qToLittleEndian(value);
    return QByteArray(reinterpret_cast<const char *>(&little), bytes);
}

inline QByteArray jpegSegment(uchar marker, const QByteArray &body)
{
    return QByteArray("\xff") + char(marker) + bigEndian(quint32(body.size() + 2), 2) + body;
}

// JPEG bytes with an XMP segment of packet put in after the start marker.
inline QByteArray withXmpSegment(QByteArray jpeg, const QByteArray &packet)
{
    return jpeg.insert(2,
                       jpegSegment(0xe1, QByteArray("http://ns.adobe.com/xap/1.0/", 29) + packet));
}

// A WebP file with a VP8X header of these flags and canvas, the picture of a simple one, and
// chunks after it.
inline QByteArray extendedWebp(quint32 flags, QSize canvas, const QByteArray &simple,
                               const QByteArray &after = {})
{
    const QByteArray body = "WEBP" + QByteArray("VP8X") + le(10) + le(flags) +
                            le(canvas.width() - 1, 3) + le(canvas.height() - 1, 3) +
                            simple.mid(12) + after;
    return "RIFF" + le(body.size()) + body;
}

// A PNG chunk with its CRC, computed bit by bit.
inline QByteArray pngChunk(const QByteArray &type, const QByteArray &data)
{
    quint32 crc = 0xffffffff;
    for (const char byte : type + data) {
        crc ^= uchar(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = crc >> 1 ^ (crc & 1 ? 0xedb88320 : 0);
    }
    return bigEndian(quint32(data.size())) + type + data + bigEndian(~crc);
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

// For what a process settles once, at its start (its locale, a memory cap): the current test
// function runs again in a fresh process of this test, with these variables set (an empty value
// unsets one), and there inRerun() is true. Returns that process's exit status, which its
// checks decide (0: all passed); -1 if it crashed or hung.
inline bool inRerun()
{
    return qEnvironmentVariableIsSet("ORVANE_TEST_RERUN");
}

inline int rerunStatus(const QMap<QString, QString> &variables = {})
{
    QString function = QString::fromLatin1(QTest::currentTestFunction());
    if (QTest::currentDataTag())
        function += u':' + QString::fromUtf8(QTest::currentDataTag());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ORVANE_TEST_RERUN"), QStringLiteral("1"));
    for (auto it = variables.begin(); it != variables.end(); ++it) {
        if (it.value().isEmpty())
            environment.remove(it.key());
        else
            environment.insert(it.key(), it.value());
    }
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {function});
    if (!child.waitForFinished(60000)) {
        child.kill();
        child.waitForFinished();
        return -1;
    }
    const QByteArray output = child.readAllStandardOutput();
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        qWarning("%s", output.constData());
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}
