#pragma once

#include "app/channel_boxes.h"

#include <array>

class PhotoBox;
class PreviewImage;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;

// The controls the window's code works with. Every control also carries its layout name as
// objectName, for tests and accessibility.
struct Controls
{
    QFrame *previewFrame;
    PreviewImage *previewImage;
    QLabel *previewCaption;
    QCheckBox *previewToggle;
    PhotoBox *reference;
    PhotoBox *target;
    std::array<PhotoBox *, 4> swatches;
    QProgressBar *progress;
    QLineEdit *referenceReadout;
    QLineEdit *targetReadout;
    ChannelBoxes referenceBoxes;
    ChannelBoxes targetBoxes;
    ChannelBoxes differenceBoxes;
    QPushButton *reload;
    QPushButton *correct;
    QPushButton *save;
    QPushButton *help;
    QPushButton *exit;
    QPushButton *importReference;
    QPushButton *importTarget;
};

// Creates every control of the main window as a child of `window`, named, placed and styled
// as the layout table says, stacked and in focus order. Children of a picture box sit in its
// client area, measured from inside its border.
Controls buildControls(QWidget *window);

// The swatch index each Picture2 carries (they share one name).
inline constexpr const char *swatchIndexProperty = "index";
