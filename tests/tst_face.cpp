#include "face/face_finder.h"
#include "face/skin_sample.h"
#include "face/skin_search.h"
#include "synthetic_face.h"
#include "test_support.h"

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
    return painted(picture.size(),
                   [&](int x, int y) { return withCast(picture.pixel(x, y), cast); });
}

// A large and a small portrait side by side.
QImage twoPortraits(QSize size, QColor largeSkin, QColor smallSkin, bool largeOnLeft = true)
{
    QImage image = filled(size, QColor(90, 120, 160));
    QPainter p(&image);
    const int large = std::min(size.width() * 3 / 5, size.height()), small = large * 3 / 5;
    p.drawImage(largeOnLeft ? 0 : size.width() - large, 0,
                syntheticPortrait(largeSkin, {large, large}));
    p.drawImage(largeOnLeft ? size.width() - small : 0, size.height() - small,
                syntheticPortrait(smallSkin, {small, small}));
    return image;
}

QImage noise(QSize size)
{
    QRandomGenerator random(7);
    return painted(size, [&](int, int) { return random.generate() | 0xff000000; });
}

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

// Where a detector puts the box of the drawn face: hairline to chin, cheek to cheek.
QRect drawnFaceBox(QSize size)
{
    return QRect(size.width() * 30 / 100, size.height() * 12 / 100, size.width() * 40 / 100,
                 size.height() * 41 / 100);
}

} // namespace

class TestFace : public QObject
{
    Q_OBJECT

private slots:
    // Sampled in the box a detector would draw, or searched for in the whole photo.
    void skin_data()
    {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<bool>("search");
        QTest::addColumn<QRgb>("expected");
        // Where the face's skin is, in the picture's pixels.
        QTest::addColumn<QRect>("face");

        const QSize size(400, 400);
        const QColor light(230, 190, 170);
        const auto sampled = [&](const char *name, const QImage &picture, QRgb expected) {
            QTest::newRow(name) << picture << false << expected << drawnFaceBox(size);
        };
        const std::pair<const char *, Cast> casts[] = {{"none", {1, 1, 1}},
                                                       {"warm lamp", {1.15, 1, 0.75}},
                                                       {"green light", {0.85, 1.1, 0.85}},
                                                       {"dim", {0.5, 0.5, 0.5}}};
        for (const auto &[skinName, skin] : {std::pair{"light", light},
                                             {"dark", QColor(95, 62, 45)},
                                             {"ruddy", QColor(200, 110, 70)}})
            for (const auto &[castName, cast] : casts)
                QTest::addRow("%s, %s", skinName, castName)
                    << withCast(shiningPortrait(skin, size), cast) << false << withCast(skin, cast)
                    << drawnFaceBox(size);
        sampled("light, 24-bit",
                shiningPortrait(light, size).convertToFormat(QImage::Format_RGB888), light.rgb());
        sampled("near black", filled(size, QColor(23, 17, 12)), 0);
        sampled("darkest skin", filled(size, QColor(24, 18, 13)), qRgb(24, 18, 13));
        sampled("vivid red", filled(size, QColor(200, 30, 10)), 0);
        sampled("noise", noise(size), 0);

        const QColor skin(205, 160, 135);
        QTest::newRow("search, large photo") << syntheticPortrait(skin, {4800, 3200}) << true
                                             << skin.rgb() << QRect(1440, 736, 1920, 1664);
        QTest::newRow("search, small photo")
            << syntheticPortrait(skin, {300, 200}) << true << skin.rgb() << QRect(90, 46, 120, 104);
        QTest::newRow("search, largest face without skin")
            << twoPortraits({3000, 1500}, QColor(220, 25, 10), skin) << true << skin.rgb()
            << QRect(2370, 807, 360, 468);
        QTest::newRow("search, no face")
            << filled({3000, 2000}, skin) << true << QRgb(0) << QRect();
    }

    void skin()
    {
        QFETCH(QImage, picture);
        QFETCH(bool, search);
        QFETCH(QRgb, expected);
        QFETCH(QRect, face);
        const auto skin = search ? findSkin(picture) : sampleSkin(picture, face);
        QCOMPARE(skin.has_value(), expected != 0);
        if (!skin)
            return;
        QVERIFY2(channelDistance(skin->colour, expected) <= 2,
                 qPrintable(QColor(skin->colour).name()));
        QCOMPARE(face.united(skin->region), face); // within the face, and named if not
        // Most of the face's skin, not a corner of it.
        QVERIFY(skin->region.width() * 3 > face.width());
    }

    void findFaces_data()
    {
        QTest::addColumn<QImage>("picture");
        // Centres of the drawn faces, largest first.
        QTest::addColumn<QList<QPoint>>("centres");

        const QColor skin(205, 160, 135);
        QTest::newRow("one") << syntheticPortrait(skin, {400, 300}) << QList<QPoint>{{200, 147}};
        QTest::newRow("two, largest first") << twoPortraits({1000, 500}, skin, skin, false)
                                            << QList<QPoint>{{750, 245}, {150, 347}};
        QTest::newRow("plain") << filled({400, 300}, skin) << QList<QPoint>{};
        QTest::newRow("noise") << noise({400, 300}) << QList<QPoint>{};
        QTest::newRow("over the pixel limit")
            << syntheticPortrait(skin, {1100, 1000}) << QList<QPoint>{};
    }

    void findFaces()
    {
        QFETCH(QImage, picture);
        QFETCH(QList<QPoint>, centres);
        const QList<QRect> faces = ::findFaces(picture);
        QCOMPARE(faces.size(), centres.size());
        QString found;
        QDebug(&found) << faces;
        for (qsizetype i = 0; i < faces.size(); ++i)
            QVERIFY2((faces[i].center() - centres[i]).manhattanLength() < faces[i].width() / 4,
                     qPrintable(found));
    }
};

QTEST_MAIN(TestFace)
#include "tst_face.moc"
