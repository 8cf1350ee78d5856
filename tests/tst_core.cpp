#include "app/application.h"
#include "app/channel_text.h"
#include "app/placement.h"
#include "app/preview_geometry.h"
#include "colour/colour_word.h"
#include "colour/target_pick.h"
#include "correct/correction_pass.h"
#include "correct/gains.h"
#include "output/jpeg_writer.h"
#include "output/preview.h"
#include "photo/jpeg_codec.h"
#include "test_support.h"

#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

// Channels and ChannelValues.
template <typename C>
requires requires(C c)
{
    c.red + c.green + c.blue;
}
char *toString(const C &c)
{
    return QTest::toString(QStringLiteral("(%1, %2, %3)").arg(c.red).arg(c.green).arg(c.blue));
}

// Colours, box numbers, gains, picks, drag placement, the pass, the preview and the window's
// language.
class TestCore : public QObject
{
    Q_OBJECT

private slots:
    // Every valid word against its bytes, red lowest; also the crossing from Qt's pixels, which
    // must not lose, swap or move a byte.
    void splitIsTheBytes()
    {
        // Outside the valid words the rule's signed remainder shows, unlike byte extraction.
        QCOMPARE(splitColour(-1), (Channels{-1, -1, 255}));
        for (ColourWord w = 0; w <= 0xffffff; ++w) {
            const Channels bytes{w & 0xff, (w >> 8) & 0xff, (w >> 16) & 0xff};
            // Compared only on a mismatch, which then names the word.
            if (splitColour(w) != bytes)
                QCOMPARE(splitColour(w), bytes);
            const QRgb pixel = qRgba(bytes.red, bytes.green, bytes.blue, w & 0xff);
            if (colourWordFromRgb(pixel) != w)
                QCOMPARE(colourWordFromRgb(pixel), w);
        }
    }

    void readsNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("leading");
        QTest::addColumn<bool>("isComplete"); // and then worth the leading number
        const auto row = [](const char *text, double leading, bool isComplete) {
            // An empty box's text is a null string, which has no character to look at.
            QTest::newRow(*text ? text : "null")
                << (*text ? QString::fromUtf8(text) : QString()) << leading << isComplete;
        };
        row(" \t2.5E-1 ", 0.25, true);
        row("-.5", -0.5, true);
        row("1e-999", 0, true);
        row("16o", 16, false);
        row("7e+", 7, false);
        row("-1e999", -std::numeric_limits<double>::infinity(), false);
        row("", 0, false);
        row("nan", 0, false);
    }

    void readsNumbers()
    {
        QFETCH(QString, text);
        QFETCH(double, leading);
        QFETCH(bool, isComplete);
        QCOMPARE(leadingNumber(text), leading);
        QCOMPARE(completeNumber(text), isComplete ? std::optional(leading) : std::nullopt);
        if (isComplete) // shortest digits that read back exactly, never an exponent
            QCOMPARE(completeNumber(decimalText(leading)), std::optional(leading));
    }

    void gains_data()
    {
        QTest::addColumn<ChannelValues>("reference");
        QTest::addColumn<Channels>("target");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<Gains>("gains");
        const auto row = [](const char *name, ChannelValues reference, Channels target,
                            GainOutcome outcome, Gains gains = {}) {
            QTest::newRow(name) << reference << target << int(outcome) << gains;
        };
        row("skin", {220, 180, 160}, {200, 150, 170}, GainOutcome::Ok, {0.1f, 0.2f, -0.05882353f});
        // In double, then rounded once: 150 / 124 - 1 in float arithmetic would differ.
        row("rounded once", {150, 0, 0}, {124, 1, 1}, GainOutcome::Ok, {0.20967741f, -1, -1});
        row("limit itself", {201, 201, 201}, {1, 1, 1}, GainOutcome::Ok, {200, 200, 200});
        row("red over", {202, 1, 1}, {1, 1, 1}, GainOutcome::TooLarge);
        row("green over", {1, 202, 1}, {1, 1, 1}, GainOutcome::TooLarge);
        row("blue over", {1, 1, 202}, {1, 1, 1}, GainOutcome::TooLarge);
        // A target channel of 0: infinite, kept as it is (0/0), or zeroed (negative).
        row("target 0", {0, -5, 1}, {0, 0, 1}, GainOutcome::Ok, {0, -1, 0});
    }

    void gains()
    {
        QFETCH(ChannelValues, reference);
        QFETCH(Channels, target);
        QFETCH(int, outcome);
        QFETCH(Gains, gains);
        const GainResult result = computeGains(reference, target);
        QCOMPARE(int(result.outcome), outcome);
        QCOMPARE(result.gains, gains);
    }

    // Both gates open on any one channel, and -0 counts as 0; a pick keeps the reference's
    // fraction and sign beside the probe's bytes; a drag's end rounds halves to even.
    void gatesPickAndDrag()
    {
        for (const ChannelValues one : {ChannelValues{-1, 0, 0}, {0, 0.5, 0}, {0, 0, 3}}) {
            QVERIFY(hasDifference(one));
            QVERIFY(hasReference(one));
        }
        QVERIFY(!hasDifference({0, -0.0, 0}));
        QVERIFY(!hasReference({-0.0, 0, 0}));
        const TargetPick pick = pickTarget({220.5, -1, 0}, 200 + 256 * 150 + 65536 * 170);
        QCOMPARE(pick.target, (Channels{200, 150, 170}));
        QCOMPARE(pick.differences, (ChannelValues{20.5, -151, -170}));
        // Where the photo lands after a drag is the window's; only the rounding is here.
        QCOMPARE(releasedPosition(DragAnchor(), {7.5, -2.5}), QPoint(8, -2));
    }

    // After a refusal the pass stops and gives the last pixel it read, uncorrected. (Which rows
    // it corrected is tst_pass_window's.)
    void passStopsWhenRefusedAndReportsAsItGoes()
    {
        QImage image = filled({3, 101}, QColor(100, 100, 100));
        image.setPixel(2, 40, qRgb(1, 2, 3));
        QList<int> percents;
        const PassOutcome outcome = runCorrectionPass(image, {0.1f, 0.2f, -0.05882353f}, 0ns,
                                                      [&](int row, int lastRow, ColourWord) {
                                                          percents << progressPercent(row, lastRow);
                                                          return row < 40;
                                                      });
        QCOMPARE(outcome.result, PassResult::Stopped);
        QCOMPARE(outcome.lastPixel, 1 + 256 * 2 + 65536 * 3);
        QCOMPARE(percents.size(), 41);
        QCOMPARE(percents.value(29), 28);     // 29 / 100 * 100 falls just below 29 in double
        QCOMPARE(progressPercent(0, 0), 100); // a one-row picture

        // Reported as it goes, not only at its end: 16 megapixels take milliseconds anywhere.
        QImage large = filled({4096, 4096}, Qt::gray);
        int reports = 0;
        runCorrectionPass(large, {0.1f, 0.2f, 0.3f}, 1ms,
                          [&](int, int, ColourWord) { return ++reports, true; });
        QVERIFY2(reports > 1, qPrintable(QString::number(reports)));
    }

    // Random pictures against a slow per-pixel reference without tables, halves to even and
    // clamped: single rows, whole pictures and bands of a few hundred rows, each band above 2^16
    // pixels on two threads. Both ways a row can go, where the processor has the sixteen-pixel
    // one.
    void passMatchesSlowReference_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<Gains>("gains");
        QTest::addColumn<bool>("wide");
        const Gains gains[] = {{0.1f, 0.2f, -0.05882353f},
                               {3.0f, -0.5f, 1.5f},
                               {200.0f, 0.0f, std::numeric_limits<float>::lowest()}};
        for (const bool wide : {false, true})
            for (const QSize size :
                 {QSize(1, 1), QSize(17, 3), QSize(300, 221), QSize(257, 1001), QSize(1024, 515)})
                for (int g = 0; g < 3; ++g)
                    QTest::addRow("%dx%d, gains %d%s", size.width(), size.height(), g,
                                  wide ? ", 16 pixels" : "")
                        << size << gains[g] << wide;
    }

    void passMatchesSlowReference()
    {
        QFETCH(QSize, size);
        QFETCH(Gains, gains);
        QFETCH(bool, wide);
        const auto restore = qScopeGuard([] { allowWideRowLookup(true); });
        if (allowWideRowLookup(wide) != wide)
            QSKIP("this processor cannot look up sixteen pixels at a time");
        QRandomGenerator random(quint32(size.width() * 31 + size.height()));
        const QImage source = painted(size, [&](int, int) { return random.generate(); });
        const auto reference = [](float gain, int v) {
            const double scaled = double(gain) * v + v, whole = std::floor(scaled);
            const bool up =
                scaled - whole > 0.5 || (scaled - whole == 0.5 && std::fmod(whole, 2.0) != 0);
            return std::clamp(int(whole) + int(up), 0, 255);
        };
        const QImage expected = painted(size, [&](int x, int y) {
            const QRgb was = source.pixel(x, y);
            return qRgb(reference(gains.red, qRed(was)), reference(gains.green, qGreen(was)),
                        reference(gains.blue, qBlue(was)));
        });
        // Every row is reported with a zero interval, only the last with a long one.
        for (const std::chrono::nanoseconds interval :
             std::initializer_list<std::chrono::nanoseconds>{0ns, 300us, 1h}) {
            QImage image = source.copy();
            QList<int> rows;
            const PassOutcome outcome =
                runCorrectionPass(image, gains, interval,
                                  [&](int row, int, ColourWord) { return rows << row, true; });
            QCOMPARE(outcome.result, PassResult::Completed);
            QCOMPARE(rows.last(), size.height() - 1);
            QVERIFY(interval == 300us || rows.size() == (interval == 0ns ? size.height() : 1));
            QCOMPARE(image, expected);
        }
    }

    // The target box is the photo with a 2-pixel border on each side. The preview is decoded
    // at the smallest DCT scale n/8 that covers the frame, never enlarged.
    void previewCoversFrame_data()
    {
        QTest::addColumn<QSizeF>("outer");
        QTest::addColumn<QSizeF>("frame");
        QTest::addColumn<QSize>("decoded");
        QTest::newRow("within") << QSizeF(640, 480) << QSizeF(640, 480) << QSize(636, 476);
        QTest::newRow("width limit") << QSizeF(1690, 1000) << QSizeF(845, 500) << QSize(1054, 623);
        QTest::newRow("height limit") << QSizeF(600, 1200) << QSizeF(280, 560) << QSize(298, 598);
        QTest::newRow("both") << QSizeF(2000, 1500) << QSizeF(2240.0 / 3, 560) << QSize(749, 561);
        // A quarter would be exactly as wide as the frame but a row short of it.
        QTest::newRow("strip") << QSizeF(3384, 44) << QSizeF(845, 44.0 / 3384 * 845)
                               << QSize(1268, 15);
    }

    void previewCoversFrame()
    {
        QFETCH(QSizeF, outer);
        QFETCH(QSizeF, frame);
        const QRgb red = qRgb(200, 30, 40), blue = qRgb(20, 120, 220);
        QCOMPARE(previewFrameSize(outer), frame);
        const QSize size = outer.toSize() - QSize(4, 4);
        const QImage photo =
            painted(size, [&](int x, int) { return x * 2 < size.width() ? red : blue; });
        const RenderedPreview preview = renderPreview(photo, roundedFrameSize(frame));
        QTEST(preview.image.size(), "decoded");
        // Red on the left, blue on the right, within JPEG's loss: scaled, not cut.
        const QImage &shown = preview.image;
        const int middle = shown.height() / 2;
        QVERIFY(channelDistance(shown.pixel(shown.width() / 4, middle), red) <= 24);
        QVERIFY(channelDistance(shown.pixel(shown.width() * 3 / 4, middle), blue) <= 24);
        // The bytes are what a save writes, and decode to the very picture shown.
        QCOMPARE(decodeJpeg(preview.jpeg, roundedFrameSize(frame)).image, preview.image);
        QCOMPARE(preview.jpeg, encodeJpeg(photo, kJpegQuality).data);
    }

    // The first of LANGUAGE (its first entry), LC_ALL, LC_MESSAGES and LANG that is set
    // decides; set but empty counts as unset.
    void prefersEnglish_data()
    {
        QTest::addColumn<QString>("settings");
        QTest::addColumn<bool>("english");
        const auto row = [](const char *settings, bool english) {
            QTest::newRow(*settings ? settings : "none")
                << QString::fromLatin1(settings) << english;
        };
        row("", false);
        row("LANG=C", false);
        row("LANGUAGE=zh_CN:en LANG=en_US", false);
        row("LANGUAGE=en_GB LC_ALL=zh_CN", true);
        row("LC_ALL=en_US LC_MESSAGES=zh_CN LANG=zh_CN", true);
        row("LC_MESSAGES=en_GB LANG=zh_CN", true);
        row("LANGUAGE= LANG=en_US", true);
        row("LC_MESSAGES=C LANG=en_US", false);
    }

    void prefersEnglish()
    {
        QFETCH(QString, settings);
        QProcessEnvironment environment;
        for (const QString &setting : settings.split(u' ', Qt::SkipEmptyParts))
            environment.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
        QTEST(::prefersEnglish(environment), "english");
    }
};

QTEST_APPLESS_MAIN(TestCore)
#include "tst_core.moc"
