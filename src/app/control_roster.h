#pragma once

#include "app/channel_boxes.h"

#include <array>
#include <vector>

class PhotoBox;
class PreviewImage;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QWidget;

// The controls the window's code works with, by what they do. Every control also carries its
// layout name as objectName, for anyone matching the layout, and a Chinese accessible name.
struct Controls
{
    QFrame *previewFrame;
    PreviewImage *previewImage;
    QLabel *previewCaption;
    QCheckBox *previewToggle;
    QWidget *referencePane;
    PhotoBox *referencePhoto;
    QWidget *targetPane;
    PhotoBox *targetPhoto;
    std::array<PhotoBox *, 4> swatches;
    QProgressBar *progressBar;
    QLineEdit *referenceReadout;
    QLineEdit *targetReadout;
    ChannelBoxes referenceBoxes;
    ChannelBoxes targetBoxes;
    ChannelBoxes differenceBoxes;
    QPushButton *reloadButton;
    QPushButton *correctButton;
    QPushButton *saveButton;
    QPushButton *helpButton;
    QPushButton *exitButton;
    QPushButton *importReferenceButton;
    QPushButton *importTargetButton;
    // Every control of the layout, the ones above and the panes, frames and labels, in the
    // order they were made.
    std::vector<QWidget *> all;
};

// Creates every control of the main window as a child of `window`, named, placed and styled
// as the layout table says, stacked and in focus order. Children of a picture box sit in its
// client area, measured from inside its border.
Controls buildControls(QWidget *window);
