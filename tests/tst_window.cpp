#include "app/action_buttons.h"
#include "app/application.h"
#include "app/control_roster.h"
#include "app/lifecycle.h"
#include "app/main_form.h"
#include "fake_desktop.h"
#include "photo/photo_box.h"
#include "test_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <memory>

using namespace Qt::StringLiterals;

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void roster_data();
    void roster();
    void colours_and_fonts();
    void swatches();
    void initialState();
    void enterAndEscape();
    void enableRules_data();
    void enableRules();
    void usageGuide();
    void temporaryFileRemoved_data();
    void temporaryFileRemoved();

private:
    QPushButton *button(const char *name) const { return named<QPushButton>(form_.get(), name); }

    IsolatedRuntime runtime_;
    FakeDesktop desktop_;
    std::unique_ptr<MainForm> form_;
};

void TestWindow::init()
{
    desktop_ = FakeDesktop();
    form_ = std::make_unique<MainForm>(desktop_);
    form_->show();
    QApplication::setActiveWindow(form_.get());
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
}

void TestWindow::cleanup()
{
    form_.reset();
    QFile::remove(Lifecycle::temporaryPreviewPath());
}

static QString captionOf(const QWidget *w)
{
    if (auto *b = qobject_cast<const QAbstractButton *>(w))
        return b->text();
    if (auto *l = qobject_cast<const QLabel *>(w))
        return l->text();
    if (auto *g = qobject_cast<const QGroupBox *>(w))
        return g->title();
    if (auto *e = qobject_cast<const QLineEdit *>(w))
        return e->text();
    return {};
}

void TestWindow::roster_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("geometry"); // inside a picture box's border where it has one
    QTest::addColumn<QString>("caption");

    auto row = [](const char *name, const char *kind, const char *container, QRect g,
                  const char *caption = "") {
        QTest::newRow(name) << QString::fromUtf8(kind) << QString::fromUtf8(container) << g
                            << QString::fromUtf8(caption);
    };
    row("Picture4", "QFrame", "MainForm", {0, 0, 130, 35});
    row("Label3", "QLabel", "Picture4", {17, 5, 97, 25}, "最终效果");
    row("YuLan", "PreviewImage", "Picture4", {1, 1, 241, 97});
    row("xiaoguo", "QCheckBox", "MainForm", {840, 0, 81, 28}, "效果预览");
    row("Picture3", "QFrame", "MainForm", {8, 32, 410, 510});
    row("取样图片", "PhotoBox", "Picture3", {2, 2, 410, 510});
    row("Picture1", "QFrame", "MainForm", {848, 48, 67, 320});
    row("HScroll2", "QProgressBar", "MainForm", {8, 544, 833, 9});
    row("客体", "QFrame", "MainForm", {432, 32, 410, 510});
    row("SaveForm", "PhotoBox", "客体", {2, 2, 410, 510});
    row("校正工具", "QGroupBox", "MainForm", {848, 376, 67, 217}, "校正工具");
    row("校正点", "QPushButton", "校正工具", {2, 15, 60, 25}, "刷新");
    row("校正", "QPushButton", "校正工具", {2, 41, 60, 25}, "校正");
    row("SaveJPG", "QPushButton", "校正工具", {2, 66, 60, 25}, "保存");
    row("Command1", "QPushButton", "校正工具", {2, 91, 60, 25}, "帮助");
    row("退出", "QPushButton", "校正工具", {0, 116, 60, 25}, "退出");
    row("Label2", "QLabel", "校正工具", {3, 152, 25, 57}, "校正量");
    row("红", "QLineEdit", "校正工具", {24, 144, 38, 21});
    row("绿", "QLineEdit", "校正工具", {24, 168, 38, 21});
    row("蓝", "QLineEdit", "校正工具", {24, 192, 38, 20});
    row("客体工具栏", "QGroupBox", "MainForm", {432, 560, 409, 33}, "校正工具栏");
    row("导入客体", "QPushButton", "客体工具栏", {3, 13, 105, 17}, "导入将校正照片");
    row("Text2", "QLineEdit", "客体工具栏", {120, 8, 139, 23});
    row("客红", "QLineEdit", "客体工具栏", {264, 8, 40, 23});
    row("客绿", "QLineEdit", "客体工具栏", {312, 8, 40, 23});
    row("客蓝", "QLineEdit", "客体工具栏", {360, 8, 40, 23});
    row("主体工具栏", "QGroupBox", "MainForm", {8, 560, 409, 33}, "标准照片栏");
    row("导入主体", "QPushButton", "主体工具栏", {3, 13, 89, 17}, "导入标准照片");
    row("Text1", "QLineEdit", "主体工具栏", {112, 8, 139, 22});
    row("主红", "QLineEdit", "主体工具栏", {264, 8, 40, 23});
    row("主绿", "QLineEdit", "主体工具栏", {312, 8, 40, 23});
    row("主蓝", "QLineEdit", "主体工具栏", {360, 8, 40, 23});
    row("Label1", "QLabel", "MainForm", {851, 32, 65, 17}, "皮肤样本");
    row("图片客体", "QLabel", "MainForm", {584, 8, 105, 17}, "将校正照片");
    row("图片主体", "QLabel", "MainForm", {176, 8, 89, 25}, "标准照片");
}

void TestWindow::roster()
{
    QFETCH(QString, kind);
    QFETCH(QString, container);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);

    const auto all = form_->findChildren<QWidget *>(QString::fromUtf8(QTest::currentDataTag()));
    QCOMPARE(all.size(), 1);
    const QWidget *w = all.first();
    QCOMPARE(QString::fromLatin1(w->metaObject()->className()), kind);
    QCOMPARE(w->parentWidget()->objectName(), container);
    QCOMPARE(w->geometry(), geometry);
    QCOMPARE(captionOf(w), caption);
}

void TestWindow::colours_and_fonts()
{
    QCOMPARE(form_->windowTitle(), u"Orvane2012"_s);
    QCOMPARE(form_->size(), QSize(921, 599));
    QCOMPARE(form_->minimumSize(), form_->maximumSize());

    auto base = [&](const char *n) {
        return named<QWidget>(form_.get(), n)->palette().color(QPalette::Base);
    };
    auto text = [&](const char *n, QPalette::ColorRole r = QPalette::Text) {
        return named<QWidget>(form_.get(), n)->palette().color(r);
    };
    QCOMPARE(base("红"), QColor(Qt::red));
    QCOMPARE(text("红"), QColor(0, 255, 255));
    QCOMPARE(base("绿"), QColor(0, 255, 0));
    QCOMPARE(text("绿"), QColor(Qt::blue));
    QCOMPARE(base("主蓝"), QColor(Qt::blue));
    QCOMPARE(text("主蓝"), QColor(0, 255, 255));
    QCOMPARE(base("Text2"), QColor(192, 255, 255));
    QCOMPARE(text("Text2"), QColor(Qt::red));
    QCOMPARE(text("xiaoguo", QPalette::WindowText), QColor(Qt::white));
    QCOMPARE(text("xiaoguo", QPalette::Window), QColor(255, 128, 0));
    QCOMPARE(text("Label3", QPalette::WindowText), QColor(Qt::blue));
    QCOMPARE(text("客体工具栏", QPalette::WindowText), QColor(Qt::red));
    // A frame's red caption must not colour the label inside it.
    QCOMPARE(text("Label2", QPalette::WindowText), QColor(Qt::black));

    // The layout's faces resolve to installed fonts of the same style.
    const struct
    {
        const char *control, *family;
        double points;
        bool bold;
    } fonts[] = {
        {"校正", "WenQuanYi Zen Hei", 14.25, false}, {"xiaoguo", "WenQuanYi Zen Hei", 12, false},
        {"Label2", "AR PL UKai CN", 14.25, true},    {"红", "AR PL UMing CN", 10.5, false},
        {"Label3", "AR PL UMing CN", 15.75, true},
    };
    for (const auto &f : fonts) {
        const QWidget *w = named<QWidget>(form_.get(), f.control);
        QCOMPARE(QFontInfo(w->font()).family(), QString::fromUtf8(f.family));
        QCOMPARE(w->font().pointSizeF(), f.points);
        QCOMPARE(w->font().bold(), f.bold);
    }
}

void TestWindow::swatches()
{
    const QWidget *column = named<QWidget>(form_.get(), "Picture1");
    const auto boxes = column->findChildren<PhotoBox *>(u"Picture2"_s);
    QCOMPARE(boxes.size(), 4);
    const int heights[] = {86, 80, 83, 75};
    const QColor means[] = {{215, 192, 181}, {204, 181, 172}, {210, 179, 170}, {214, 192, 194}};
    for (const PhotoBox *box : boxes) {
        const int i = box->property(swatchIndexProperty).toInt();
        QVERIFY(i >= 0 && i < 4);
        QCOMPARE(box->geometry(), QRect(2, 2 + 80 * i, 64, heights[i] + 2));
        QCOMPARE(box->toolTip(), u"将鼠标移到理想皮肤处点击可选取标准肤色！"_s);
        // Each higher-numbered swatch lies above the one before it.
        QCOMPARE(column->children().indexOf(const_cast<PhotoBox *>(box)), i);

        const QImage &img = box->image();
        QCOMPARE(img.size(), QSize(62, heights[i]));
        double sum[3] = {}, squares = 0;
        for (int y = 0; y < img.height(); ++y) {
            for (int x = 0; x < img.width(); ++x) {
                const QRgb p = img.pixel(x, y);
                sum[0] += qRed(p), sum[1] += qGreen(p), sum[2] += qBlue(p);
                squares += qRed(p) * qRed(p);
            }
        }
        const double n = img.width() * img.height();
        QVERIFY(std::abs(sum[0] / n - means[i].red()) < 2);
        QVERIFY(std::abs(sum[1] / n - means[i].green()) < 2);
        QVERIFY(std::abs(sum[2] / n - means[i].blue()) < 2);
        const double spread = std::sqrt(squares / n - (sum[0] / n) * (sum[0] / n));
        QVERIFY2(spread > 2, "a swatch should be textured, not flat");
    }
}

void TestWindow::initialState()
{
    for (auto *b : form_->findChildren<QPushButton *>())
        QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));
    for (auto *e : form_->findChildren<QLineEdit *>())
        QVERIFY2(e->text().isEmpty(), qPrintable(e->objectName()));
    QVERIFY(!named<QCheckBox>(form_.get(), "xiaoguo")->isChecked());
    QVERIFY(!named<QWidget>(form_.get(), "Picture4")->isVisible());
    const auto *bar = named<QProgressBar>(form_.get(), "HScroll2");
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 32767);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(QApplication::focusWidget(), button("校正点"));
    // The preview frame covers everything else; its caption lies over its image.
    QCOMPARE(form_->children().last(), named<QObject>(form_.get(), "Picture4"));
    QCOMPARE(named<QWidget>(form_.get(), "Picture4")->children().last(),
             named<QObject>(form_.get(), "Label3"));

    // Tab walks the controls in the layout's order.
    const char *order[] = {"校正", "退出", "导入主体", "导入客体", "SaveJPG", "Text1"};
    for (const char *name : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString::fromUtf8(name));
    }
}

void TestWindow::enterAndEscape()
{
    QSignalSpy correct(button("校正"), &QPushButton::clicked);
    QSignalSpy exit(form_.get(), &MainForm::exitRequested);

    // Enter on a focused button presses that button.
    button("Command1")->setFocus();
    QTest::keyClick(button("Command1"), Qt::Key_Return);
    QCOMPARE(desktop_.messages.size(), 1);
    QCOMPARE(correct.size(), 0);

    // Enter from a text box presses 校正.
    auto *box = named<QLineEdit>(form_.get(), "主红");
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClick(box, Qt::Key_Enter);
    QCOMPARE(correct.size(), 2);
    QCOMPARE(exit.size(), 0);

    QTest::keyClick(box, Qt::Key_Escape);
    QCOMPARE(exit.size(), 1);
}

Q_DECLARE_METATYPE(ActionEvent)

void TestWindow::enableRules_data()
{
    QTest::addColumn<QList<ActionEvent>>("events");
    QTest::addColumn<QString>("states"); // 校正 SaveJPG 校正点 Command1: 1 on, 0 off

    using E = ActionEvent;
    QTest::newRow("start") << QList<E>{} << u"1111"_s;
    QTest::newRow("pass running") << QList<E>{E::PassStarted} << u"0000"_s;
    QTest::newRow("refused") << QList<E>{E::PassStarted, E::PassRefused} << u"1000"_s;
    QTest::newRow("completed") << QList<E>{E::PassStarted, E::PassCompleted} << u"1111"_s;
    QTest::newRow("completed after refusal")
        << QList<E>{E::PassStarted, E::PassRefused, E::PassStarted, E::PassCompleted} << u"1111"_s;
    QTest::newRow("stopped") << QList<E>{E::PassStarted, E::PassStopped} << u"1111"_s;
    QTest::newRow("save") << QList<E>{E::SavePressed} << u"1011"_s;
    QTest::newRow("save after refusal")
        << QList<E>{E::PassStarted, E::PassRefused, E::SavePressed} << u"1000"_s;
    QTest::newRow("reload after refusal")
        << QList<E>{E::PassStarted, E::PassRefused, E::ReloadPressed} << u"1111"_s;
}

void TestWindow::enableRules()
{
    QFETCH(QList<ActionEvent>, events);
    QFETCH(QString, states);

    ActionButtons rules(button("校正"), button("SaveJPG"), button("校正点"), button("Command1"));
    for (ActionEvent e : events)
        rules.apply(e);
    QString actual;
    for (const char *n : {"校正", "SaveJPG", "校正点", "Command1"})
        actual += button(n)->isEnabled() ? u'1' : u'0';
    QCOMPARE(actual, states);
    for (const char *n : {"导入主体", "导入客体", "退出"})
        QVERIFY(button(n)->isEnabled());
}

void TestWindow::usageGuide()
{
    QTest::mouseClick(button("Command1"), Qt::LeftButton);
    QCOMPARE(desktop_.messages.size(), 1);
    const FakeDesktop::Message &m = desktop_.messages.first();
    QCOMPARE(m.title, u"使用指南"_s);
    QVERIFY(m.text.startsWith(u"本软件可快速把MM光线不好或偏色的照片进行校正,方法是"_s));
    QVERIFY(m.text.contains(u"(也可直接在皮肤样本中选择)"_s));
    QVERIFY(m.text.endsWith(u"保存为jpeg格式图片(注意:保存的图片将替换原来的图片且不可恢复)！"_s));
    QCOMPARE(m.text.size(), 171);
}

void TestWindow::temporaryFileRemoved_data()
{
    QTest::addColumn<bool>("byExitButton");
    QTest::addColumn<bool>("fileExists");
    QTest::newRow("close, file") << false << true;
    QTest::newRow("close, no file") << false << false;
    QTest::newRow("exit, file") << true << true;
    QTest::newRow("exit, no file") << true << false;
}

void TestWindow::temporaryFileRemoved()
{
    QFETCH(bool, byExitButton);
    QFETCH(bool, fileExists);

    const QString path = Lifecycle::temporaryPreviewPath();
    QVERIFY(path.startsWith(runtime_.path()));
    if (fileExists) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\xff\xd8");
    }
    QSignalSpy exit(form_.get(), &MainForm::exitRequested);
    if (byExitButton)
        QTest::mouseClick(button("退出"), Qt::LeftButton);
    else
        QVERIFY(form_->close());
    QVERIFY(!QFileInfo::exists(path));
    QCOMPARE(exit.size(), byExitButton ? 1 : 0);
    QVERIFY(desktop_.messages.isEmpty());
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    configureApplication(app);
    TestWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_window.moc"
