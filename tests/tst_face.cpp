#include "face/face_finder.h"
#include "face/skin_sample.h"
#include "face/skin_search.h"
#include "synthetic_face.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

using Cast = std::array<double, 3>;

QRgb withCast(QColor colour, const Cast &cast)
{
    const auto scaled = [](int v, double f) { return std::clamp(int(std::lround(v * f)), 0, 255); };
    return qRgb(scaled(colour.red(), cast[0]), scaled(colour.green(), cast[1]),
                scaled(colour.blue(), cast[2]));
}

QImage withCast(const QImage &picture, const Cast &cast)
{
    QImage out = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            line[x] = withCast(QColor(line[x]), cast);
    }
    return out;
}

// A large and a small portrait side by side.
QImage twoPortraits(QSize size, QColor largeSkin, QColor smallSkin, bool largeOnLeft = true)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(90, 120, 160));
    QPainter p(&image);
    const int large = std::min(size.width() * 3 / 5, size.height());
    const int small = large * 3 / 5;
    p.drawImage(largeOnLeft ? 0 : size.width() - large, 0,
                syntheticPortrait(largeSkin, {large, large}));
    p.drawImage(largeOnLeft ? size.width() - small : 0, size.height() - small,
                syntheticPortrait(smallSkin, {small, small}));
    return image;
}

QImage noise(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = random.generate() | 0xff000000;
    }
    return image;
}

QImage plain(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

// Where a detector puts the box of the drawn face: hairline to chin, cheek to cheek.
// The drawn portrait with a shine on the forehead: of the skin's own hue, brighter than the rest.
QImage shiningPortrait(QColor skin, QSize size)
{
    QImage image = syntheticPortrait(skin, size);
    QPainter p(&image);
    p.setPen(Qt::NoPen);
    p.setBrush(skin.lighter(125));
    p.drawEllipse(QRectF(size.width() * 0.45, size.height() * 0.25, size.width() * 0.07,
                         size.height() * 0.05));
    return image;
}

QRect drawnFaceBox(QSize size)
{
    return QRect(size.width() * 30 / 100, size.height() * 12 / 100, size.width() * 40 / 100,
                 size.height() * 41 / 100);
}

void compareColour(QRgb actual, QRgb expected)
{
    const int off = std::max({std::abs(qRed(actual) - qRed(expected)),
                              std::abs(qGreen(actual) - qGreen(expected)),
                              std::abs(qBlue(actual) - qBlue(expected))});
    if (off > 2)
        QFAIL(qPrintable(QStringLiteral("got %1,%2,%3, expected %4,%5,%6")
                             .arg(qRed(actual))
                             .arg(qGreen(actual))
                             .arg(qBlue(actual))
                             .arg(qRed(expected))
                             .arg(qGreen(expected))
                             .arg(qBlue(expected))));
}

} // namespace

class TestFace : public QObject
{
    Q_OBJECT

private slots:
    void sampleSkin_data();
    void sampleSkin();
    void findFaces_data();
    void findFaces();
    void findSkin_data();
    void findSkin();
};

void TestFace::sampleSkin_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QRgb>("expected");

    const QSize size(400, 400);
    const Cast none{1, 1, 1};
    const Cast warm{1.15, 1, 0.75};
    const Cast green{0.85, 1.1, 0.85};
    const Cast dim{0.5, 0.5, 0.5};
    const QColor light(230, 190, 170);
    const QColor dark(95, 62, 45);
    const QColor ruddy(200, 110, 70);
    const auto row = [&](const char *name, QColor skin, const Cast &cast) {
        QTest::newRow(name) << withCast(shiningPortrait(skin, size), cast) << withCast(skin, cast);
    };
    row("light", light, none);
    row("light, warm lamp", light, warm);
    row("light, green light", light, green);
    row("dark", dark, none);
    row("dark, warm lamp", dark, warm);
    row("dark, dim", dark, dim);
    row("ruddy, warm lamp", ruddy, warm);
    QTest::newRow("light, 24-bit")
        << shiningPortrait(light, size).convertToFormat(QImage::Format_RGB888) << light.rgb();

    QTest::newRow("near black") << plain(size, QColor(22, 16, 12)) << QRgb(0);
    QTest::newRow("vivid red") << plain(size, QColor(200, 30, 10)) << QRgb(0);
    QTest::newRow("noise") << noise(size) << QRgb(0);
}

void TestFace::sampleSkin()
{
    QFETCH(QImage, picture);
    QFETCH(QRgb, expected);
    const std::optional<SkinSample> skin = ::sampleSkin(picture, drawnFaceBox(picture.size()));
    QCOMPARE(skin.has_value(), expected != 0);
    if (skin) {
        compareColour(skin->colour, expected);
        QVERIFY(drawnFaceBox(picture.size()).contains(skin->region));
    }
}

void TestFace::findFaces_data()
{
    QTest::addColumn<QImage>("picture");
    // Centres of the drawn faces, largest first.
    QTest::addColumn<QList<QPoint>>("centres");

    const QColor skin(205, 160, 135);
    QTest::newRow("one") << syntheticPortrait(skin, {400, 300}) << QList<QPoint>{{200, 147}};
    QTest::newRow("two, largest first")
        << twoPortraits({1000, 500}, skin, skin, false) << QList<QPoint>{{750, 245}, {150, 347}};
    QTest::newRow("plain") << plain({400, 300}, skin) << QList<QPoint>{};
    QTest::newRow("noise") << noise({400, 300}) << QList<QPoint>{};
    QTest::newRow("over the pixel limit")
        << syntheticPortrait(skin, {1100, 1000}) << QList<QPoint>{};
    QTest::newRow("null") << QImage() << QList<QPoint>{};
}

void TestFace::findFaces()
{
    QFETCH(QImage, picture);
    QFETCH(QList<QPoint>, centres);
    const QList<QRect> faces = ::findFaces(picture);
    QCOMPARE(faces.size(), centres.size());
    for (qsizetype i = 0; i < faces.size(); ++i) {
        const QPoint off = faces[i].center() - centres[i];
        QVERIFY2(off.manhattanLength() < faces[i].width() / 4,
                 qPrintable(QStringLiteral("face %1 centred at %2,%3")
                                .arg(i)
                                .arg(faces[i].center().x())
                                .arg(faces[i].center().y())));
    }
}

void TestFace::findSkin_data()
{
    QTest::addColumn<QImage>("photo");
    QTest::addColumn<QRgb>("expected");
    // Where the face's skin is, in the photo's pixels.
    QTest::addColumn<QRect>("face");

    const QColor skin(205, 160, 135);
    QTest::newRow("large photo") << syntheticPortrait(skin, {4800, 3200}) << skin.rgb()
                                 << QRect(1440, 736, 1920, 1664);
    QTest::newRow("small photo") << syntheticPortrait(skin, {300, 200}) << skin.rgb()
                                 << QRect(90, 46, 120, 104);
    QTest::newRow("largest face without skin")
        << twoPortraits({3000, 1500}, QColor(220, 25, 10), skin) << skin.rgb()
        << QRect(2370, 807, 360, 468);
    QTest::newRow("no face") << plain({3000, 2000}, skin) << QRgb(0) << QRect();
}

void TestFace::findSkin()
{
    QFETCH(QImage, photo);
    QFETCH(QRgb, expected);
    QFETCH(QRect, face);
    const std::optional<SkinSample> skin = ::findSkin(photo);
    QCOMPARE(skin.has_value(), expected != 0);
    if (skin) {
        compareColour(skin->colour, expected);
        QVERIFY2(face.contains(skin->region), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                             .arg(skin->region.x())
                                                             .arg(skin->region.y())
                                                             .arg(skin->region.width())
                                                             .arg(skin->region.height())));
        // Most of the face's skin, not a corner of it.
        QVERIFY(skin->region.width() * 3 > face.width());
    }
}

QTEST_MAIN(TestFace)
#include "tst_face.moc"
