#include "app/main_form.h"

#include "app/action_buttons.h"
#include "app/control_roster.h"
#include "app/desktop.h"
#include "app/lifecycle.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>

using namespace Qt::StringLiterals;

MainForm::MainForm(Desktop &desktop, QWidget *parent)
    : QWidget(parent)
    , desktop_(desktop)
{
    setObjectName(u"MainForm"_s);
    setWindowTitle(u"Orvane2012"_s);
    setFixedSize(921, 599);
    buildControls(this);

    correctButton_ = control<QPushButton>("校正");
    exitButton_ = control<QPushButton>("退出");
    actions_ = std::make_unique<ActionButtons>(correctButton_, control<QPushButton>("SaveJPG"),
                                               control<QPushButton>("校正点"),
                                               control<QPushButton>("Command1"));

    connect(control<QPushButton>("Command1"), &QPushButton::clicked, this,
            &MainForm::showUsageGuide);
    connect(exitButton_, &QPushButton::clicked, this, &MainForm::exitProgram);
}

MainForm::~MainForm() = default;

template <typename T> T *MainForm::control(const char *name) const
{
    auto *found = findChild<T *>(QString::fromUtf8(name));
    Q_ASSERT(found);
    return found;
}

void MainForm::showEvent(QShowEvent *event)
{
    if (!placed_) {
        placed_ = true;
        if (const QScreen *s = screen())
            move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
        control<QPushButton>("校正点")->setFocus();
    }
    QWidget::showEvent(event);
}

void MainForm::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        exitButton_->click();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter presses the focused button; from anywhere else, 校正.
        if (auto *focused = qobject_cast<QPushButton *>(focusWidget()))
            focused->click();
        else
            correctButton_->click();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void MainForm::closeEvent(QCloseEvent *event)
{
    Lifecycle::removeTemporaryPreview();
    event->accept();
}

void MainForm::showUsageGuide()
{
    desktop_.message(this, Lifecycle::usageGuideTitle(), Lifecycle::usageGuideText());
}

void MainForm::exitProgram()
{
    Lifecycle::removeTemporaryPreview();
    emit exitRequested();
}
