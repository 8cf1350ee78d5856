#pragma once

#include "app/application.h"
#include "app/background_job.h"
#include "app/main_form.h"
#include "app/photo_box.h"
#include "app/preview_image.h"
#include "fake_desktop.h"
#include "test_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// Points the per-user runtime folder at a fresh temporary folder, so that tests never meet a
// real instance's lock or preview file.
inline std::unique_ptr<QTemporaryDir> isolatedRuntime()
{
    auto dir = std::make_unique<QTemporaryDir>();
    qputenv("XDG_RUNTIME_DIR", dir->path().toLocal8Bit());
    return dir;
}

// A shown main window with a fake desktop, a private runtime folder and a folder for the
// photos a test makes; all fresh for every test.
class WindowFixture
{
public:
    [[nodiscard]] bool open()
    {
        runtime = isolatedRuntime();
        files = std::make_unique<QTemporaryDir>();
        desktop = FakeDesktop();
        form = std::make_unique<MainForm>(desktop);
        form->show();
        QApplication::setActiveWindow(form.get());
        return QTest::qWaitForWindowActive(form.get());
    }
    void close()
    {
        form.reset();
        // Abandoned work still ends on its own thread; none may outlive the test.
        if (!QTest::qWaitFor([] { return BackgroundJob::threadsAtWork() == 0; }, 30000))
            qWarning("work of the window outlived it");
        files.reset();
        runtime.reset();
    }

    QString writePhoto(const QString &name, const QImage &image) const
    {
        return writeFile(files->filePath(name), encoded(image, "bmp"));
    }
    void importVia(QPushButton *button, const QString &answer)
    {
        desktop.answers.append(answer);
        press(button);
    }
    // Clicks the button, then waits until the work it started has ended.
    void press(QPushButton *button) const
    {
        QTest::mouseClick(button, Qt::LeftButton);
        settle();
    }
    bool settle() const
    {
        return QTest::qWaitFor([this] { return form->idle(); }, 30000);
    }
    // Imports a target of `colour` with `pick` at its top-left pixel, types the reference
    // boxes, and picks that pixel; by default the gains are 0.1, 0.2 and -0.0588.
    void prepare(QSize size, QColor colour = QColor(100, 100, 100),
                 QColor pick = QColor(200, 150, 170),
                 const QStringList &reference = {QStringLiteral("220"), QStringLiteral("180"),
                                                 QStringLiteral("160")})
    {
        QImage image = filled(size, colour);
        image.setPixelColor(0, 0, pick);
        importVia(ui().importTargetButton, writePhoto(QStringLiteral("target.bmp"), image));
        const ChannelBoxes &boxes = ui().referenceBoxes;
        for (int i = 0; i < 3; ++i)
            std::array{boxes.red, boxes.green, boxes.blue}[i]->setText(reference.value(i));
        clickAt(ui().targetPhoto, {0, 0});
    }

    const Controls &ui() const { return form->controls(); }
    // The preview's picture, decoded as when the user looks at it.
    const QImage &preview() const
    {
        if (!ui().previewToggle->isChecked())
            QTest::mouseClick(ui().previewToggle, Qt::LeftButton);
        settle();
        return ui().previewImage->image();
    }
    QString texts(std::initializer_list<ChannelBoxes> groups) const // joined by spaces
    {
        QStringList out;
        for (const ChannelBoxes &g : groups)
            out << g.red->text() << g.green->text() << g.blue->text();
        return out.join(u' ');
    }
    QString enabledStates() const // 校正 保存 刷新 帮助, 1 = enabled
    {
        QString s;
        for (const QPushButton *b :
             {ui().correctButton, ui().saveButton, ui().reloadButton, ui().helpButton})
            s += b->isEnabled() ? u'1' : u'0';
        return s;
    }
    // Points at an image pixel of a picture box (inside its border), then clicks there.
    static void moveTo(PhotoBox *box, QPoint pixel)
    {
        QTest::mouseMove(box, pixel + box->contentsRect().topLeft());
    }
    static void clickAt(PhotoBox *box, QPoint pixel)
    {
        // Qt drops a move to where the pointer already is; come from a neighbour.
        moveTo(box, pixel + QPoint(1, 1));
        moveTo(box, pixel);
        QTest::mouseClick(box, Qt::LeftButton, {}, pixel + box->contentsRect().topLeft());
    }
    // Right-clicks a picture pixel as a user would, through the window, then clicks the entry
    // (none: closes the menu). The entries the menu showed, ticked, separators as "--"; none if no
    // menu opened.
    QStringList menu(PhotoBox *box, QPoint pixel, const QString &entry = {}) const
    {
        const QPoint at = box->mapTo(form.get(), pixel + box->contentsRect().topLeft());
        QTest::mouseClick(form->windowHandle(), Qt::RightButton, {}, at);
        QMenu *menu = nullptr;
        // A menu pops up within the click; a second is plenty to tell that none did.
        if (!QTest::qWaitFor(
                [&] { return menu = qobject_cast<QMenu *>(QApplication::activePopupWidget()); },
                1000))
            return {};
        QStringList shown;
        for (const QAction *action : menu->actions())
            shown << action->text() + QLatin1StringView(action->isSeparator() ? "--" : "") +
                         (action->isChecked() ? QStringLiteral(" ✓") : QString());
        for (QAction *action : menu->actions())
            if (action->text() == entry)
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        menu->hide();
        return shown;
    }

    std::unique_ptr<QTemporaryDir> runtime;
    std::unique_ptr<QTemporaryDir> files;
    FakeDesktop desktop;
    std::unique_ptr<MainForm> form;
};

// A window test runs with the program's own style and fonts, in Chinese whatever the desktop
// says, except in a rerun made to try a desktop's language.
#define WINDOW_TEST_MAIN(Test)                                                                     \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        QApplication app(argc, argv);                                                              \
        configureApplication(app, inRerun() ? QProcessEnvironment::systemEnvironment()             \
                                            : QProcessEnvironment());                              \
        Test test;                                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
