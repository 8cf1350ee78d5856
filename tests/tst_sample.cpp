#include "synthetic_face.h"
#include "window_fixture.h"

using namespace Qt::StringLiterals;

// The sample size through the window: the pictures' shared context menu, kept across a
// restart, and the probe it sets; the skin a photo's menu picks by itself. (That the right
// button neither drags nor picks is tst_photos'.)
class TestSample : public QObject
{
    Q_OBJECT

    QTemporaryDir config_;
    WindowFixture f_;

private slots:
    // Before the first window reads the settings, which then stay in this private folder: only
    // one test writes them.
    void initTestCase() { qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit()); }
    // Red is x², so a square's mean is not its centre's value; green is 10·y.
    void init()
    {
        QVERIFY(f_.open());
        const QString path =
            f_.writePhoto(u"squares.bmp"_s,
                          painted({16, 12}, [](int x, int y) { return qRgb(x * x, 10 * y, 50); }));
        f_.importVia(f_.ui().importReferenceButton, path);
        f_.importVia(f_.ui().importTargetButton, path);
    }
    void cleanup() { f_.close(); }

    // One menu for every picture, ticked at its size, which the probe then averages over, and
    // kept for the next start.
    void menuSetsTheProbeAndIsKept()
    {
        const auto pickAt = [&](QPoint pixel) {
            f_.clickAt(f_.ui().referencePhoto, pixel);
            return f_.texts({f_.ui().referenceBoxes});
        };
        QCOMPARE(pickAt({7, 5}), u"49 50 50"_s);
        QCOMPARE(f_.menu(f_.ui().targetPhoto, {3, 2}, u"3×3 平均"_s),
                 QStringList({u"取样大小--"_s, u"单个像素 ✓"_s, u"3×3 平均"_s, u"5×5 平均"_s,
                              u"11×11 平均"_s, u"--"_s, u"自动选取肤色"_s, u"--"_s,
                              u"逐张匹配肤色…"_s}));
        QCOMPARE(pickAt({7, 5}), u"50 50 50"_s);                   // (36 + 49 + 64) / 3 = 49.67
        QVERIFY(f_.menu(f_.ui().targetPhoto, {-1, -1}).isEmpty()); // none on a picture's border
        // The last column and row are picture too; (196 + 225) / 2 = 210.5 goes to even.
        QCOMPARE(pickAt({15, 11}), u"210 105 50"_s);
        QCOMPARE(f_.menu(f_.ui().swatches[0], {20, 30}, u"5×5 平均"_s).filter(u"✓"_s),
                 QStringList(u"3×3 平均 ✓"_s));
        QCOMPARE(pickAt({7, 5}), u"51 50 50"_s);
        f_.menu(f_.ui().referencePhoto, {9, 4}, u"11×11 平均"_s);

        f_.close();
        init();
        QCOMPARE(f_.menu(f_.ui().referencePhoto, {9, 4}).filter(u"✓"_s), {u"11×11 平均 ✓"_s});
        QCOMPARE(pickAt({7, 5}), u"59 50 50"_s); // 2² + … + 12² = 649 = 11 · 59
    }

    // "自动选取肤色" fills the boxes as a click on the skin would and outlines where it
    // looked, until the next pick or picture; a photo without a face changes nothing.
    void skinPickedByItself()
    {
        const QString auto_ = u"自动选取肤色"_s;
        const QPoint cheek(150, 230); // in the skin of a 400 × 400 drawn portrait
        const auto autoPick = [&](PhotoBox *photo) {
            f_.menu(photo, {2, 2}, auto_);
            QVERIFY(f_.settle());
        };
        PhotoBox *reference = f_.ui().referencePhoto, *target = f_.ui().targetPhoto;
        // Nothing found in squares: a box, and the boxes as they were.
        f_.clickAt(reference, {7, 5});
        const QString before = f_.texts({f_.ui().referenceBoxes});
        autoPick(reference);
        QCOMPARE(f_.desktop.texts(), QStringList(u"提示|未找到人脸，请手动选取皮肤！"_s));
        QCOMPARE(f_.texts({f_.ui().referenceBoxes}), before);
        QVERIFY(reference->outline().isEmpty());
        QVERIFY(!f_.menu(f_.ui().swatches[0], {20, 30}).contains(auto_));

        f_.importVia(f_.ui().importReferenceButton,
                     f_.writePhoto(u"reference.bmp"_s, syntheticPortrait(QColor(224, 172, 140))));
        f_.importVia(f_.ui().importTargetButton,
                     f_.writePhoto(u"target.bmp"_s, syntheticPortrait(QColor(180, 150, 150))));
        autoPick(reference);
        autoPick(target);
        // The drawn skins exactly, as a click on a cheek reads them.
        QCOMPARE(f_.texts({f_.ui().referenceBoxes, f_.ui().targetBoxes, f_.ui().differenceBoxes}),
                 u"224 172 140 180 150 150 44 22 -10"_s);
        // Inside the face, around the cheek: the drawn head spans 120..280 across.
        const QRect face(120, 80, 160, 220);
        for (PhotoBox *photo : {reference, target}) {
            QVERIFY(face.contains(photo->outline()));
            QVERIFY(photo->outline().contains(cheek));
            // Drawn in white and black over the skin.
            const QRgb corner = photo->grab().toImage().pixel(photo->outline().topLeft() +
                                                              photo->contentsRect().topLeft());
            QVERIFY(corner == qRgb(0, 0, 0) || corner == qRgb(255, 255, 255));
        }
        QCOMPARE(f_.desktop.texts().size(), 1);

        f_.clickAt(target, cheek);
        QVERIFY(target->outline().isEmpty());
        QVERIFY(!reference->outline().isEmpty());
        f_.importVia(f_.ui().importReferenceButton,
                     f_.writePhoto(u"again.bmp"_s, syntheticPortrait(Qt::white)));
        QVERIFY(reference->outline().isEmpty());
    }
};

QTEST_MAIN(TestSample)
#include "tst_sample.moc"
