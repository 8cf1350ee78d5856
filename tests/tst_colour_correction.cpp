#include "colour/colour_word.h"
#include "colour/number_text.h"
#include "correct/correction_pass.h"

#include <QTest>

#include <array>
#include <limits>

char *toString(const Channels &c)
{
    return QTest::toString(QStringLiteral("(%1, %2, %3)").arg(c.red).arg(c.green).arg(c.blue));
}

class TestColourCorrection : public QObject
{
    Q_OBJECT

private slots:
    // Named words by the rule, then every valid word against its bytes; also the crossing from
    // Qt's pixels, which must not lose, swap or move a byte.
    void splitIsTheBytes()
    {
        QCOMPARE(splitColour(255), (Channels{255, 0, 0}));
        QCOMPARE(splitColour(16711680), (Channels{0, 0, 255}));
        QCOMPARE(splitColour(128 + 256 * 128 + 65536 * 128), (Channels{128, 128, 128}));
        // Outside the valid words the rule's signed remainder shows, unlike byte extraction.
        QCOMPARE(splitColour(-1), (Channels{-1, -1, 255}));
        QCOMPARE(colourWordFromRgb(qRgba(1, 2, 3, 0)), 1 + 256 * 2 + 65536 * 3);
        for (ColourWord w = 0; w <= 0xffffff; ++w) {
            const Channels bytes{w & 0xff, (w >> 8) & 0xff, (w >> 16) & 0xff};
            // Compared only on a mismatch, which then names the word.
            if (splitColour(w) != bytes)
                QCOMPARE(splitColour(w), bytes);
            const QRgb pixel = qRgb(bytes.red, bytes.green, bytes.blue);
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
            QTest::newRow(*text ? text : "empty")
                << QString::fromUtf8(text) << leading << isComplete;
        };
        row(" \t2.5E-1 ", 0.25, true);
        row("-.5", -0.5, true);
        row("1e-999", 0, true);
        row("12abc", 12, false);
        row("7e+", 7, false);
        row("-1e999", -std::numeric_limits<double>::infinity(), false);
        row("", 0, false);
        row("nan", 0, false);
        row("inf", 0, false);
    }

    void readsNumbers()
    {
        QFETCH(QString, text);
        QFETCH(double, leading);
        QFETCH(bool, isComplete);
        QCOMPARE(leadingNumber(text), leading);
        QCOMPARE(completeNumber(text), isComplete ? std::optional(leading) : std::nullopt);
    }

    // Shortest digits that read back exactly, never an exponent or a minus zero.
    void writesPlainDecimals()
    {
        QCOMPARE(decimalText(0.1 + 0.2), QStringLiteral("0.30000000000000004"));
        QCOMPARE(decimalText(-1e-7), QStringLiteral("-0.0000001"));
        QCOMPARE(decimalText(-0.0), QStringLiteral("0"));
    }

    // The rule the tables below are held to: exact halves go to even, results clamp.
    void roundsHalvesToEvenAndClamps()
    {
        QCOMPARE(correctedChannel(0.5f, 3), 4);
        QCOMPARE(correctedChannel(0.5f, 5), 8);
        QCOMPARE(correctedChannel(-0.5f, 1), 0);
        QCOMPARE(correctedChannel(0.5f, 171), 255);
    }

    void rowGoesThroughTables_data()
    {
        QTest::addColumn<Gains>("gains");
        QTest::newRow("skin") << Gains{0.1f, 0.2f, -0.05882353f};
        QTest::newRow("exact halves") << Gains{0.5f, -0.5f, 1.5f};
        QTest::newRow("negative") << Gains{-0.3f, -1.0f, -2.5f};
        QTest::newRow("clamping") << Gains{3.0f, 200.0f, std::numeric_limits<float>::lowest()};
    }

    // Every value of every channel passes through one scan line, each channel in a different
    // order so that a swapped table shows. Alpha goes in as 0 and must come out opaque.
    void rowGoesThroughTables()
    {
        QFETCH(Gains, gains);
        std::array<QRgb, 256> row;
        for (int x = 0; x < 256; ++x)
            row[x] = qRgba(x, 255 - x, x * 7 & 0xff, 0);
        correctRow(row.data(), 256, ChannelTables(gains));
        for (int x = 0; x < 256; ++x) {
            QCOMPARE(qRed(row[x]), correctedChannel(gains.red, x));
            QCOMPARE(qGreen(row[x]), correctedChannel(gains.green, 255 - x));
            QCOMPARE(qBlue(row[x]), correctedChannel(gains.blue, x * 7 & 0xff));
            QCOMPARE(qAlpha(row[x]), 255);
        }
    }
};

QTEST_APPLESS_MAIN(TestColourCorrection)
#include "tst_colour_correction.moc"
