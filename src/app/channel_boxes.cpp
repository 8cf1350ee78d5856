#include "app/channel_boxes.h"

#include <QLineEdit>

ChannelTexts ChannelBoxes::texts() const
{
    return {red->text(), green->text(), blue->text()};
}

void ChannelBoxes::setTexts(const ChannelTexts &texts) const
{
    red->setText(texts.red);
    green->setText(texts.green);
    blue->setText(texts.blue);
}
