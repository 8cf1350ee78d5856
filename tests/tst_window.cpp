#include "window_fixture.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTranslator>

using namespace Qt::StringLiterals;

// The window as it looks and what a picture of it cannot show: tooltips, focus, keys, help.
class TestWindow : public QObject
{
    Q_OBJECT

    WindowFixture f_;

private slots:
    void init() { QVERIFY(f_.open()); }
    void cleanup() { f_.close(); }

    // Pictures of the window, rendered offscreen with the fonts the program maps to. Run with
    // ORVANE_REMAKE_PICTURES=1 (tests/remake_pictures.sh) to write them anew after a deliberate
    // change of the layout, then look at them before committing.
    void looksAsDrawn_data()
    {
        QTest::addColumn<QString>("state");
        for (const char *state : {"start", "large-photos", "preview", "english"})
            QTest::newRow(state) << QString::fromLatin1(state);
    }

    void looksAsDrawn()
    {
        QFETCH(QString, state);
        std::unique_ptr<QTranslator> english;
        const auto chineseAgain = qScopeGuard([&] {
            if (english)
                QCoreApplication::removeTranslator(english.get());
        });
        if (state == u"english") { // captions too long for their controls get smaller fonts
            english = englishTranslator();
            QVERIFY(english && QCoreApplication::installTranslator(english.get()));
            f_.close();
            QVERIFY(f_.open());
        } else if (state ==
                   u"large-photos") { // larger than the panes, which must keep their borders
            const QImage photo = painted(
                {600, 700}, [](int x, int y) { return qRgb(x * 255 / 600, y * 255 / 700, 128); });
            const QString path = f_.writePhoto(u"large.bmp"_s, photo);
            f_.importVia(f_.ui().importReferenceButton, path);
            f_.importVia(f_.ui().importTargetButton, path);
            // Picks fill every box, so that their colours and fonts show.
            f_.clickAt(f_.ui().referencePhoto, {300, 150});
            f_.clickAt(f_.ui().targetPhoto, {150, 400});
        } else if (state == u"preview") {
            f_.importVia(f_.ui().importTargetButton,
                         f_.writePhoto(u"small.bmp"_s, filled({200, 150}, Qt::white)));
            QTest::mouseClick(f_.ui().previewToggle, Qt::LeftButton);
            QVERIFY(f_.settle());
            f_.ui().reloadButton->setFocus();
        }
        const QImage shown = f_.form->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QString name = state + u".png"_s;
        const QDir pictures(QStringLiteral(ORVANE_TESTS_DIR "/pictures"));
        if (qEnvironmentVariableIsSet("ORVANE_REMAKE_PICTURES")) {
            QVERIFY(shown.save(pictures.filePath(name)));
            QSKIP("picture remade");
        }
        const QImage expected(pictures.filePath(name));
        QVERIFY2(!expected.isNull(), qPrintable(pictures.filePath(name)));
        if (shown != expected.convertToFormat(QImage::Format_RGB32)) {
            const QString actual = QDir::temp().filePath(u"orvane-actual-"_s + name);
            shown.save(actual);
            QFAIL(qPrintable(u"the window differs from %1; it looks like %2"_s.arg(
                pictures.filePath(name), actual)));
        }
    }

    void tooltipsFocusAndStartState()
    {
        const Controls &ui = f_.ui();
        QMap<const QWidget *, QString> tips{
            {ui.referencePane, u"按下鼠标移动后放开可移动照片"_s},
            {ui.referencePhoto, u"将鼠标移动到理想皮肤颜色处点击选取皮肤样品！"_s},
            {ui.targetPhoto, u"将鼠标移动到需校正到皮肤样品一样的地方点击选取校正点！"_s}};
        for (const QWidget *swatch : ui.swatches)
            tips[swatch] = u"将鼠标移到理想皮肤处点击可选取标准肤色！"_s;
        for (const QWidget *w : f_.form->findChildren<QWidget *>())
            QCOMPARE(w->toolTip(), tips.value(w));

        // Every control is named for a screen reader; a button by its caption.
        QCOMPARE(ui.all.size(), std::size_t(39));
        for (const QWidget *w : ui.all) {
            QVERIFY(!w->accessibleName().isEmpty());
            if (const auto *button = qobject_cast<const QAbstractButton *>(w))
                QCOMPARE(w->accessibleName(), button->text());
        }

        const QList<QWidget *> order{
            ui.reloadButton,          ui.correctButton,       ui.exitButton,
            ui.importReferenceButton, ui.importTargetButton,  ui.saveButton,
            ui.referenceReadout,      ui.targetReadout,       ui.differenceBoxes.blue,
            ui.differenceBoxes.green, ui.differenceBoxes.red, ui.referenceBoxes.green,
            ui.referenceBoxes.blue,   ui.referenceBoxes.red,  ui.targetBoxes.blue,
            ui.targetBoxes.green,     ui.targetBoxes.red,     ui.helpButton,
            ui.previewToggle,         ui.reloadButton};
        QList<QWidget *> tabbed{QApplication::focusWidget()};
        while (tabbed.size() < order.size()) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            tabbed << QApplication::focusWidget();
        }
        QCOMPARE(tabbed, order);

        QVERIFY((f_.form->geometry().center() - f_.form->screen()->availableGeometry().center())
                    .manhattanLength() <= 8); // centred, give or take its frame
        // Moved by the user, it stays where it was put when shown again (restored, say).
        const QPoint moved = f_.form->pos() + QPoint(30, 40);
        f_.form->move(moved);
        f_.form->hide();
        f_.form->show();
        QCOMPARE(f_.form->pos(), moved);
    }

    // The window is in simplified Chinese, and so are Qt's own buttons, whatever territory the
    // desktop is set to (zh_TW has a translation of its own); an English desktop gets both in
    // English.
    void qtButtonsFollowTheWindow_data()
    {
        QTest::addColumn<QString>("lang");
        QTest::addColumn<QStringList>("texts"); // OK, Cancel, the window's note title
        for (const char *lang : {"zh_TW", "zh_HK", "de_DE"})
            QTest::newRow(lang) << QString::fromLatin1(lang) + u".UTF-8"_s
                                << QStringList{u"确定"_s, u"取消"_s, u"提示"_s};
        QTest::newRow("en_US") << u"en_US.UTF-8"_s << QStringList{u"OK"_s, u"Cancel"_s, u"Note"_s};
    }

    void qtButtonsFollowTheWindow()
    {
        QFETCH(QString, lang);
        QFETCH(QStringList, texts);
        if (!inRerun()) {
            const QMap<QString, QString> locale{
                {u"LANG"_s, lang}, {u"LANGUAGE"_s, {}}, {u"LC_ALL"_s, {}}, {u"LC_MESSAGES"_s, {}}};
            QCOMPARE(rerunStatus(locale), 0);
            return;
        }
        QCOMPARE(QLocale::system().name(), lang.left(5));
        const QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(box.button(QDialogButtonBox::Ok)->text(), texts[0]);
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), texts[1]);
        f_.prepare({4, 4}, Qt::gray, Qt::gray, {}); // a pick without a reference: a note
        QCOMPARE(f_.desktop.messages.value(0).title, texts[2]);
    }

    // Enter on the help button shows the usage guide, word for word. The pass disables the
    // focused 校正: Return and Space during it, or the Return that follows it, must not reach
    // 退出, and the focus comes back to 校正.
    void enterPressesTheRightButton()
    {
        f_.prepare({4, 30});
        QSignalSpy correct(f_.ui().correctButton, &QPushButton::clicked);
        QSignalSpy exit(f_.form.get(), &MainForm::exitRequested);
        f_.ui().correctButton->setFocus();
        QTest::keyClick(f_.ui().correctButton, Qt::Key_Return);
        QWidget *focused = QApplication::focusWidget(); // while the pass runs
        QVERIFY(focused != f_.ui().exitButton);
        QTest::keyClick(focused, Qt::Key_Return);
        QTest::keyClick(focused, Qt::Key_Space);
        QVERIFY(f_.settle());
        QCOMPARE(f_.desktop.beeps, 1);
        QCOMPARE(QApplication::focusWidget(), f_.ui().correctButton);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); // a second pass, not an exit
        QVERIFY(f_.settle());
        QCOMPARE(f_.desktop.beeps, 2);
        QCOMPARE(correct.size(), 2);

        f_.ui().helpButton->setFocus(); // Enter presses the focused button...
        QTest::keyClick(f_.ui().helpButton, Qt::Key_Return);
        QCOMPARE(f_.desktop.texts(),
                 QStringList(
                     u"使用指南|本软件可快速把MM光线不好或偏色的照片进行校正,方法是分别导入一理想"
                     u"的图片(也可直接在皮肤样本中选择)和希望调整的MM照片,然后用鼠标选择理想照片"
                     u"(或皮肤样本)中最美的肤色和要调整到该肤色的照片中的相应位置,点击校正即可,"
                     u"不满意可刷新后再试,直到满意后点击保存即可把该照片保存为jpeg格式图片(注意:"
                     u"保存的图片将替换原来的图片且不可恢复)！"_s));
        QCOMPARE(correct.size(), 2);
        f_.ui().referenceBoxes.red->setFocus(); // ...and 校正 from anywhere else
        QTest::keyClick(f_.ui().referenceBoxes.red, Qt::Key_Return);
        QVERIFY(f_.settle());
        QTest::keyClick(f_.ui().referenceBoxes.red, Qt::Key_Enter);
        QVERIFY(f_.settle());
        QCOMPARE(correct.size(), 4);
        QCOMPARE(exit.size(), 0); // Esc is tst_photos' slow read
    }
};

WINDOW_TEST_MAIN(TestWindow)

#include "tst_window.moc"
