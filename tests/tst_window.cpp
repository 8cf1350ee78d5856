#include "app/application.h"
#include "app/control_roster.h"
#include "window_fixture.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>

using namespace Qt::StringLiterals;

// The window as laid out, its start state, keyboard and help.
class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(f_.open()); }
    void cleanup() { f_.close(); }
    void roster_data();
    void roster();
    void coloursAndFonts();
    void swatches();
    void initialState();
    void enterAndEscape();
    void usageGuide();

private:
    WindowFixture f_;
};

void TestWindow::roster_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("container");
    // Every kind, container, inset and rounding of the layout; geometry is inside a picture
    // box's border where it has one.
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");
    auto row = [](const char *name, const char *kind, const char *container, QRect g,
                  const char *caption = "") {
        QTest::newRow(name) << QString::fromUtf8(kind) << QString::fromUtf8(container) << g
                            << QString::fromUtf8(caption);
    };
    // clang-format off
    row("Picture4", "QFrame", "MainForm", {0, 0, 130, 35});
    row("Label3", "QLabel", "Picture4", {17, 5, 97, 25}, "最终效果");
    row("YuLan", "PreviewImage", "Picture4", {1, 1, 241, 97});
    row("xiaoguo", "QCheckBox", "MainForm", {840, 0, 81, 28}, "效果预览");
    row("Picture1", "QFrame", "MainForm", {848, 48, 67, 320});
    row("HScroll2", "QProgressBar", "MainForm", {8, 544, 833, 9});
    row("SaveForm", "PhotoBox", "客体", {2, 2, 410, 510});
    row("校正工具", "QGroupBox", "MainForm", {848, 376, 67, 217}, "校正工具");
    row("校正点", "QPushButton", "校正工具", {2, 15, 60, 25}, "刷新");
    row("校正", "QPushButton", "校正工具", {2, 41, 60, 25}, "校正");
    row("SaveJPG", "QPushButton", "校正工具", {2, 66, 60, 25}, "保存");
    row("Command1", "QPushButton", "校正工具", {2, 91, 60, 25}, "帮助");
    row("Label2", "QLabel", "校正工具", {3, 152, 25, 57}, "校正量");
    row("导入客体", "QPushButton", "客体工具栏", {3, 13, 105, 17}, "导入将校正照片");
    row("客红", "QLineEdit", "客体工具栏", {264, 8, 40, 23});
    row("主体工具栏", "QGroupBox", "MainForm", {8, 560, 409, 33}, "标准照片栏");
    row("Text1", "QLineEdit", "主体工具栏", {112, 8, 139, 22});
    row("Label1", "QLabel", "MainForm", {851, 32, 65, 17}, "皮肤样本");
    row("图片主体", "QLabel", "MainForm", {176, 8, 89, 25}, "标准照片");
    // clang-format on
}

void TestWindow::roster()
{
    QFETCH(QString, kind);
    QFETCH(QString, container);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    const auto all = f_.form->findChildren<QWidget *>(QString::fromUtf8(QTest::currentDataTag()));
    QCOMPARE(all.size(), 1);
    const QWidget *w = all.first();
    QCOMPARE(QString::fromLatin1(w->metaObject()->className()), kind);
    QCOMPARE(w->parentWidget()->objectName(), container);
    QCOMPARE(w->geometry(), geometry);
    if (!qobject_cast<const QProgressBar *>(w)) // its "text" is a percentage
        QCOMPARE(w->property("text").toString() + w->property("title").toString(), caption);
}

void TestWindow::coloursAndFonts()
{
    QCOMPARE(f_.form->windowTitle(), u"Orvane2012"_s);
    QCOMPARE(f_.form->size(), QSize(921, 599));
    QCOMPARE(f_.form->minimumSize(), f_.form->maximumSize());
    const struct
    {
        const char *control;
        QPalette::ColorRole role;
        QColor colour;
    } colours[] = {
        {"红", QPalette::Base, Qt::red},
        {"红", QPalette::Text, Qt::cyan},
        {"Text2", QPalette::Base, {192, 255, 255}},
        {"Text2", QPalette::Text, Qt::red},
        {"xiaoguo", QPalette::Button, {255, 128, 0}},
        {"xiaoguo", QPalette::WindowText, Qt::white},
        {"Label3", QPalette::WindowText, Qt::blue},
        {"客体工具栏", QPalette::WindowText, Qt::red},
        {"Label2", QPalette::WindowText, Qt::black}, // a frame's red must not spread inside
    };
    for (const auto &c : colours)
        QCOMPARE(named<QWidget>(f_.form.get(), c.control)->palette().color(c.role), c.colour);

    // The layout's faces resolve to installed fonts of the same style.
    const struct
    {
        const char *control, *family;
        double points;
        bool bold;
    } fonts[] = {{"校正", "WenQuanYi Zen Hei", 14.25, false},
                 {"Label2", "AR PL UKai CN", 14.25, true},
                 {"红", "AR PL UMing CN", 10.5, false},
                 {"Label3", "AR PL UMing CN", 15.75, true}};
    for (const auto &f : fonts) {
        const QFont font = named<QWidget>(f_.form.get(), f.control)->font();
        QCOMPARE(QFontInfo(font).family(), QString::fromUtf8(f.family));
        QCOMPARE(font.pointSizeF(), f.points);
        QCOMPARE(font.bold(), f.bold);
    }
}

void TestWindow::swatches()
{
    const QWidget *column = named<QWidget>(f_.form.get(), "Picture1");
    const auto boxes = column->findChildren<PhotoBox *>(u"Picture2"_s);
    QCOMPARE(boxes.size(), 4);
    const int heights[] = {86, 80, 83, 75};
    const QColor means[] = {{215, 192, 181}, {204, 181, 172}, {210, 179, 170}, {214, 192, 194}};
    for (PhotoBox *box : boxes) {
        const int i = box->property(swatchIndexProperty).toInt();
        QCOMPARE(box->geometry(), QRect(2, 2 + 80 * i, 64, heights[i] + 2));
        QCOMPARE(column->children().indexOf(box), i); // higher swatches lie above
        const QImage &img = box->image();
        QCOMPARE(img.size(), QSize(62, heights[i]));
        const QColor mean =
            img.scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).pixelColor(0, 0);
        QVERIFY(qAbs(mean.red() - means[i].red()) <= 3 && qAbs(mean.blue() - means[i].blue()) <= 3);
        QVERIFY2(img.pixel(0, 0) != img.pixel(30, 40), "a swatch is textured, not flat");
    }
}

void TestWindow::initialState()
{
    for (auto *b : f_.form->findChildren<QPushButton *>())
        QVERIFY(b->isEnabled());
    for (auto *e : f_.form->findChildren<QLineEdit *>())
        QVERIFY(e->text().isEmpty());
    QVERIFY(!named<QCheckBox>(f_.form.get(), "xiaoguo")->isChecked());
    QVERIFY(!named<QWidget>(f_.form.get(), "Picture4")->isVisible());
    const auto *bar = named<QProgressBar>(f_.form.get(), "HScroll2");
    QCOMPARE(QList<int>({bar->minimum(), bar->maximum(), bar->value()}), QList<int>({0, 32767, 0}));
    // The preview frame covers everything else; its caption lies over its image.
    QCOMPARE(f_.form->children().last()->objectName(), u"Picture4"_s);
    QCOMPARE(named<QWidget>(f_.form.get(), "Picture4")->children().last()->objectName(),
             u"Label3"_s);
    QCOMPARE(QApplication::focusWidget(), f_.button("校正点"));
    for (const char *next : {"校正", "退出", "导入主体", "导入客体", "SaveJPG", "Text1"}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromUtf8(next));
    }
}

void TestWindow::enterAndEscape()
{
    QSignalSpy correct(f_.button("校正"), &QPushButton::clicked);
    QSignalSpy exit(f_.form.get(), &MainForm::exitRequested);
    f_.button("Command1")->setFocus(); // Enter presses the focused button...
    QTest::keyClick(f_.button("Command1"), Qt::Key_Return);
    QCOMPARE(f_.desktop.messages.size(), 1);
    QCOMPARE(correct.size(), 0);
    f_.box("主红")->setFocus(); // ...and 校正 from anywhere else
    QTest::keyClick(f_.box("主红"), Qt::Key_Return);
    QTest::keyClick(f_.box("主红"), Qt::Key_Enter);
    QCOMPARE(correct.size(), 2);
    QCOMPARE(exit.size(), 0);
    QTest::keyClick(f_.box("主红"), Qt::Key_Escape);
    QCOMPARE(exit.size(), 1);
}

void TestWindow::usageGuide()
{
    f_.press("Command1");
    QCOMPARE(f_.desktop.messages.size(), 1);
    const FakeDesktop::Message &m = f_.desktop.messages.first();
    QCOMPARE(m.title, u"使用指南"_s);
    QVERIFY(m.text.startsWith(u"本软件可快速把MM光线不好或偏色的照片进行校正,方法是"_s));
    QVERIFY(m.text.endsWith(u"保存为jpeg格式图片(注意:保存的图片将替换原来的图片且不可恢复)！"_s));
    QCOMPARE(m.text.size(), 171);
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    configureApplication(app);
    TestWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_window.moc"
