#include "app/action_buttons.h"

#include <QPushButton>

namespace {

enum State : char { Off, On, Keep };

struct Row
{
    ActionEvent event;
    State states[4]; // 校正, 保存, 刷新, 帮助, applied in this order
};

constexpr Row table[] = {
    {ActionEvent::PassStarted, {Off, Off, Off, Off}},
    {ActionEvent::PassRefused, {On, Keep, Keep, Keep}},
    {ActionEvent::PassCompleted, {On, On, On, On}},
    {ActionEvent::PassStopped, {On, On, On, On}},
    {ActionEvent::SavePressed, {Keep, Off, Keep, Keep}},
    {ActionEvent::ReloadPressed, {On, On, On, On}},
};

} // namespace

ActionButtons::ActionButtons(QPushButton *correct, QPushButton *save, QPushButton *reload,
                             QPushButton *help)
    : buttons_{correct, save, reload, help}
{}

void ActionButtons::apply(ActionEvent event)
{
    for (const Row &row : table) {
        if (row.event != event)
            continue;
        for (int i = 0; i < 4; ++i) {
            if (row.states[i] != Keep)
                on_[i] = row.states[i] == On;
        }
    }
    refresh();
}

void ActionButtons::hold(bool correct, bool save, bool reload)
{
    held_[0] = correct;
    held_[1] = save;
    held_[2] = reload;
    refresh();
}

void ActionButtons::refresh()
{
    for (int i = 0; i < 4; ++i) {
        QPushButton *button = buttons_[i];
        const bool enabled = on_[i] && !(i < 3 && held_[i]);
        if (!enabled && button->hasFocus()) {
            // Qt would pass the focus on to the next control, which may be 退出.
            parked_ = button;
            button->window()->setFocus();
        }
        button->setEnabled(enabled);
    }
    if (parked_ && parked_->isEnabled()) {
        if (parked_->window()->hasFocus())
            parked_->setFocus();
        parked_ = nullptr;
    }
}
