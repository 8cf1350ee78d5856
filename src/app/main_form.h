#pragma once

#include <QWidget>

#include <memory>

class ActionButtons;
class Desktop;
class QPushButton;

// The program's one window: owns every control and the window state, and wires the
// controls' events to the work of the other folders.
class MainForm : public QWidget
{
    Q_OBJECT

public:
    explicit MainForm(Desktop &desktop, QWidget *parent = nullptr);
    ~MainForm() override;

signals:
    // 退出 was pressed: the program should end now.
    void exitRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    template <typename T> T *control(const char *name) const;

    void showUsageGuide();
    void exitProgram();

    Desktop &desktop_;
    QPushButton *correctButton_;
    QPushButton *exitButton_;
    std::unique_ptr<ActionButtons> actions_;
    bool placed_ = false;
};
