#pragma once

class QPushButton;

// What can happen to the four action buttons.
enum class ActionEvent {
    PassStarted,
    PassRefused,
    PassCompleted,
    PassStopped, // stopped early by a close, an exit or a new target
    SavePressed,
    ReloadPressed,
};

// The one place that knows which of 校正, 保存, 刷新 and 帮助 each event
// enables or disables. Every other control is never disabled. A button that loses the focus by
// being disabled leaves it with the window, where Return and Space fire nothing, and gets it
// back when it is enabled again.
class ActionButtons
{
public:
    ActionButtons(QPushButton *correct, QPushButton *save, QPushButton *reload, QPushButton *help);
    void apply(ActionEvent event);
    // While work on the photo runs, these of 校正, SaveJPG and 校正点 are off whatever their
    // state, and come back as the events left them.
    void hold(bool correct, bool save, bool reload);

private:
    void refresh();

    QPushButton *buttons_[4];
    bool on_[4] = {true, true, true, true};
    bool held_[3] = {};
    QPushButton *parked_ = nullptr;
};
