#pragma once

#include "app/channel_text.h"

class QLineEdit;

// One red, green, blue triple of the window's text boxes.
struct ChannelBoxes
{
    QLineEdit *red = nullptr;
    QLineEdit *green = nullptr;
    QLineEdit *blue = nullptr;

    ChannelTexts texts() const;
    void setTexts(const ChannelTexts &texts) const;
};
