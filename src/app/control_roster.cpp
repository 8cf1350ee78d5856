#include "app/control_roster.h"

#include "app/bordered_box.h"
#include "app/caption_label.h"
#include "app/photo_box.h"
#include "app/preview_image.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <array>
#include <cmath>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

enum class Kind {
    Pane,
    Photo,
    Swatch,
    PreviewFrame,
    Image,
    Label,
    CheckBox,
    Frame,
    Button,
    TextBox,
    Progress
};

constexpr QRgb unset = 0; // opaque colours all have alpha 0xff
constexpr QRgb red = 0xffff0000, green = 0xff00ff00, blue = 0xff0000ff, cyan = 0xff00ffff,
               white = 0xffffffff, black = 0xff000000, orange = 0xffff8000, readout = 0xffc0ffff;

// What each control is for. The code reaches controls by role; the layout names stay in the
// table's first column.
enum class Role {
    Window, // holds the controls without a container
    PreviewFrame,
    PreviewCaption,
    PreviewPicture,
    PreviewToggle,
    ReferencePane,
    ReferencePhoto,
    SwatchPane,
    Swatch,
    ProgressBar,
    TargetPane,
    TargetPhoto,
    CorrectionTools,
    ReloadButton,
    CorrectButton,
    SaveButton,
    HelpButton,
    ExitButton,
    DifferenceCaption,
    DifferenceRed,
    DifferenceGreen,
    DifferenceBlue,
    TargetBar,
    ImportTargetButton,
    TargetReadout,
    TargetRed,
    TargetGreen,
    TargetBlue,
    ReferenceBar,
    ImportReferenceButton,
    ReferenceReadout,
    ReferenceRed,
    ReferenceGreen,
    ReferenceBlue,
    SwatchCaption,
    TargetCaption,
    ReferenceCaption,
    Count
};

struct Control
{
    const char *name; // as the layout has it
    Role role;
    Kind kind;
    Role container;
    double x, y, w, h; // fractions come from the layout grid of 15 units per pixel
    // Shown on buttons, the check box, labels and frames; for the rest, what they hold. Either
    // way it is what a screen reader says.
    const char *caption;
    QRgb text = unset;
    QRgb back = unset;
    const char *font = nullptr;
    double points = 0;
    bool bold = false;
    const char *tooltip = "";
    int index = -1;
};

const char *const swatchTip =
    QT_TRANSLATE_NOOP("Controls", "将鼠标移到理想皮肤处点击可选取标准肤色！");

using enum Role;

// clang-format off
const Control roster[] = {
    {"Picture4", PreviewFrame, Kind::PreviewFrame, Window, 0, 0, 130, 35, QT_TRANSLATE_NOOP("Controls", "校正效果预览区")},
    {"Label3", PreviewCaption, Kind::Label, PreviewFrame, 16, 4, 97, 25, QT_TRANSLATE_NOOP("Controls", "最终效果"), blue, unset, "NSimSun", 15.75, true},
    {"YuLan", PreviewPicture, Kind::Image, PreviewFrame, 0, 0, 241, 97, QT_TRANSLATE_NOOP("Controls", "校正效果图")},
    {"xiaoguo", PreviewToggle, Kind::CheckBox, Window, 840, 0, 81, 28, QT_TRANSLATE_NOOP("Controls", "效果预览"), white, orange, "SimHei", 12},
    {"Picture3", ReferencePane, Kind::Pane, Window, 8, 32, 410, 510, QT_TRANSLATE_NOOP("Controls", "标准照片区"), unset, unset, nullptr, 0, false, QT_TRANSLATE_NOOP("Controls", "按下鼠标移动后放开可移动照片")},
    {"取样图片", ReferencePhoto, Kind::Photo, ReferencePane, 0, 0, 410, 510, QT_TRANSLATE_NOOP("Controls", "标准照片"), unset, unset, nullptr, 0, false, QT_TRANSLATE_NOOP("Controls", "将鼠标移动到理想皮肤颜色处点击选取皮肤样品！")},
    {"Picture1", SwatchPane, Kind::Pane, Window, 848, 48, 66.7, 320, QT_TRANSLATE_NOOP("Controls", "皮肤样本区")},
    {"Picture2", Swatch, Kind::Swatch, SwatchPane, 0, 0, 64, 88, QT_TRANSLATE_NOOP("Controls", "皮肤样本一"), unset, white, nullptr, 0, false, swatchTip, 0},
    {"Picture2", Swatch, Kind::Swatch, SwatchPane, 0, 80, 64, 82, QT_TRANSLATE_NOOP("Controls", "皮肤样本二"), unset, unset, nullptr, 0, false, swatchTip, 1},
    {"Picture2", Swatch, Kind::Swatch, SwatchPane, 0, 160, 64, 85, QT_TRANSLATE_NOOP("Controls", "皮肤样本三"), unset, unset, nullptr, 0, false, swatchTip, 2},
    {"Picture2", Swatch, Kind::Swatch, SwatchPane, 0, 240, 64, 77, QT_TRANSLATE_NOOP("Controls", "皮肤样本四"), unset, unset, nullptr, 0, false, swatchTip, 3},
    {"HScroll2", ProgressBar, Kind::Progress, Window, 8, 544, 833, 9, QT_TRANSLATE_NOOP("Controls", "校正进度")},
    {"客体", TargetPane, Kind::Pane, Window, 432, 32, 410, 510, QT_TRANSLATE_NOOP("Controls", "将校正照片区")},
    {"SaveForm", TargetPhoto, Kind::Photo, TargetPane, 0, 0, 410, 510, QT_TRANSLATE_NOOP("Controls", "将校正照片"), unset, unset, nullptr, 0, false, QT_TRANSLATE_NOOP("Controls", "将鼠标移动到需校正到皮肤样品一样的地方点击选取校正点！")},
    {"校正工具", CorrectionTools, Kind::Frame, Window, 848, 376, 66.7, 217, QT_TRANSLATE_NOOP("Controls", "校正工具"), red, unset, "KaiTi_GB2312", 10.5},
    {"校正点", ReloadButton, Kind::Button, CorrectionTools, 2, 15.3, 60, 25, QT_TRANSLATE_NOOP("Controls", "刷新"), unset, unset, "SimHei", 14.25},
    {"校正", CorrectButton, Kind::Button, CorrectionTools, 2, 40.5, 60, 25, QT_TRANSLATE_NOOP("Controls", "校正"), unset, unset, "SimHei", 14.25},
    {"SaveJPG", SaveButton, Kind::Button, CorrectionTools, 2, 65.6, 60, 25, QT_TRANSLATE_NOOP("Controls", "保存"), unset, unset, "SimHei", 14.25},
    {"Command1", HelpButton, Kind::Button, CorrectionTools, 2, 90.7, 60, 25, QT_TRANSLATE_NOOP("Controls", "帮助"), unset, unset, "SimHei", 14.25},
    {"退出", ExitButton, Kind::Button, CorrectionTools, 0, 116, 60, 25, QT_TRANSLATE_NOOP("Controls", "退出"), unset, unset, "SimHei", 14.25},
    {"Label2", DifferenceCaption, Kind::Label, CorrectionTools, 3, 152, 25, 57, QT_TRANSLATE_NOOP("Controls", "校正量"), unset, unset, "KaiTi_GB2312", 14.25, true},
    {"红", DifferenceRed, Kind::TextBox, CorrectionTools, 24, 144, 38, 21, QT_TRANSLATE_NOOP("Controls", "红色校正量"), cyan, red, "SimSun", 10.5},
    {"绿", DifferenceGreen, Kind::TextBox, CorrectionTools, 24, 168, 38, 21, QT_TRANSLATE_NOOP("Controls", "绿色校正量"), blue, green, "SimSun", 10.5},
    {"蓝", DifferenceBlue, Kind::TextBox, CorrectionTools, 24, 192, 38, 20, QT_TRANSLATE_NOOP("Controls", "蓝色校正量"), cyan, blue, "SimSun", 10.5},
    {"客体工具栏", TargetBar, Kind::Frame, Window, 432, 560, 409, 33, QT_TRANSLATE_NOOP("Controls", "校正工具栏"), red},
    {"导入客体", ImportTargetButton, Kind::Button, TargetBar, 3.3, 13.3, 105, 17, QT_TRANSLATE_NOOP("Controls", "导入将校正照片")},
    {"Text2", TargetReadout, Kind::TextBox, TargetBar, 120, 8, 139, 23, QT_TRANSLATE_NOOP("Controls", "将校正照片鼠标位置"), red, readout, "SimSun", 10.5},
    {"客红", TargetRed, Kind::TextBox, TargetBar, 264, 8, 40, 23.3, QT_TRANSLATE_NOOP("Controls", "将校正红色值"), cyan, red, "SimSun", 10.5},
    {"客绿", TargetGreen, Kind::TextBox, TargetBar, 312, 8, 40, 23.3, QT_TRANSLATE_NOOP("Controls", "将校正绿色值"), blue, green, "SimSun", 10.5},
    {"客蓝", TargetBlue, Kind::TextBox, TargetBar, 360, 8, 40, 23.3, QT_TRANSLATE_NOOP("Controls", "将校正蓝色值"), cyan, blue, "SimSun", 10.5},
    {"主体工具栏", ReferenceBar, Kind::Frame, Window, 8, 560, 409, 33, QT_TRANSLATE_NOOP("Controls", "标准照片栏"), red},
    {"导入主体", ImportReferenceButton, Kind::Button, ReferenceBar, 3.3, 13.3, 89, 17, QT_TRANSLATE_NOOP("Controls", "导入标准照片")},
    {"Text1", ReferenceReadout, Kind::TextBox, ReferenceBar, 112, 8, 139, 22.3, QT_TRANSLATE_NOOP("Controls", "标准照片鼠标位置"), red, readout, "SimSun", 10.5},
    {"主红", ReferenceRed, Kind::TextBox, ReferenceBar, 264, 8, 40, 23.3, QT_TRANSLATE_NOOP("Controls", "标准红色值"), cyan, red, "SimSun", 10.5},
    {"主绿", ReferenceGreen, Kind::TextBox, ReferenceBar, 312, 8, 40, 23.3, QT_TRANSLATE_NOOP("Controls", "标准绿色值"), blue, green, "SimSun", 10.5},
    {"主蓝", ReferenceBlue, Kind::TextBox, ReferenceBar, 360, 8, 40, 23.3, QT_TRANSLATE_NOOP("Controls", "标准蓝色值"), cyan, blue, "SimSun", 10.5},
    {"Label1", SwatchCaption, Kind::Label, Window, 851, 32, 65, 17, QT_TRANSLATE_NOOP("Controls", "皮肤样本"), blue, unset, "KaiTi_GB2312", 10.5, true},
    {"图片客体", TargetCaption, Kind::Label, Window, 584, 8, 105, 17, QT_TRANSLATE_NOOP("Controls", "将校正照片"), unset, unset, "KaiTi_GB2312", 15, true},
    {"图片主体", ReferenceCaption, Kind::Label, Window, 176, 8, 89, 25, QT_TRANSLATE_NOOP("Controls", "标准照片"), unset, unset, "KaiTi_GB2312", 15, true},
};

// Controls that take the focus, in tab order.
const Role focusOrder[] = {
    ReloadButton, CorrectButton, ExitButton, ImportReferenceButton, ImportTargetButton, SaveButton,
    ReferenceReadout, TargetReadout, DifferenceBlue, DifferenceGreen, DifferenceRed,
    ReferenceGreen, ReferenceBlue, ReferenceRed, TargetBlue, TargetGreen, TargetRed, HelpButton,
    PreviewToggle,
};
// clang-format on

QString translated(const char *text)
{
    return QCoreApplication::translate("Controls", text);
}

QWidget *create(const Control &c, QWidget *parent)
{
    const QString caption = translated(c.caption);
    switch (c.kind) {
    case Kind::Pane:
        return new BorderedBox(BoxBorder::Sunken, parent);
    case Kind::Photo:
        return new PhotoBox(BoxBorder::Sunken, parent);
    case Kind::Swatch: {
        auto *swatch = new PhotoBox(BoxBorder::Flat, parent);
        swatch->setImage(QImage(u":/swatches/swatch%1.bmp"_s.arg(c.index))
                             .convertToFormat(QImage::Format_RGB32));
        return swatch;
    }
    case Kind::PreviewFrame: {
        auto *frame = new BorderedBox(BoxBorder::Flat, parent);
        frame->setAutoFillBackground(true);
        frame->hide();
        return frame;
    }
    case Kind::Image:
        return new PreviewImage(parent);
    case Kind::Label:
        return new CaptionLabel(caption, parent);
    case Kind::CheckBox: {
        auto *box = new QCheckBox(caption, parent);
        box->setAutoFillBackground(true);
        return box;
    }
    case Kind::Frame:
        return new QGroupBox(caption, parent);
    case Kind::Button:
        return new QPushButton(caption, parent);
    case Kind::TextBox:
        return new QLineEdit(parent);
    case Kind::Progress: {
        auto *bar = new QProgressBar(parent);
        bar->setRange(0, 32767);
        bar->setValue(0);
        bar->setTextVisible(false);
        return bar;
    }
    }
    return nullptr;
}

void style(QWidget *w, const Control &c)
{
    QPalette palette = w->palette();
    // Always explicit: a frame's red caption colour must not spread to its children.
    const QColor text = c.text == unset ? QColor(black) : QColor(c.text);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(role, text);
    if (c.back != unset) {
        // Text boxes fill with Base, buttons and check boxes with Button, the rest with Window.
        const auto role = qobject_cast<QLineEdit *>(w) ? QPalette::Base : QPalette::Window;
        palette.setColor(role, QColor(c.back));
        palette.setColor(QPalette::Button, QColor(c.back));
    }
    w->setPalette(palette);
    if (c.font) {
        QFont font(QString::fromUtf8(c.font));
        font.setPointSizeF(c.points);
        font.setBold(c.bold);
        w->setFont(font);
    }
    if (*c.tooltip)
        w->setToolTip(translated(c.tooltip));
}

// How wide a caption may be in its button or check box: the style's label area.
int captionRoom(QAbstractButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    const auto area = qobject_cast<QCheckBox *>(button) ? QStyle::SE_CheckBoxContents
                                                        : QStyle::SE_PushButtonContents;
    return button->style()->subElementRect(area, &option, button).width();
}

// The layout was drawn for the Chinese captions; a longer translation gets a smaller font in
// its own button rather than a larger button. Labels fit theirs themselves.
void fitCaption(QWidget *w)
{
    auto *button = qobject_cast<QAbstractButton *>(w);
    if (!button)
        return;
    const int room = captionRoom(button);
    QFont font = button->font();
    while (QFontMetrics(font).horizontalAdvance(button->text()) > room && font.pointSizeF() > 6)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    button->setFont(font);
}

int pixels(double value)
{
    return int(std::lround(value));
}

// The controls made so far, by role; the swatches share theirs, so the last one made is kept.
class Made
{
public:
    explicit Made(QWidget *window) { byRole_[std::size_t(Window)] = window; }
    void add(Role role, QWidget *w) { byRole_[std::size_t(role)] = w; }
    QWidget *find(Role role) const
    {
        QWidget *w = byRole_[std::size_t(role)];
        if (!w)
            qFatal("The layout has no control for role %d", int(role));
        return w;
    }
    // Where a control in this container goes: inside the border of a picture box.
    QWidget *parentFor(Role container) const
    {
        QWidget *w = find(container);
        if (auto *bordered = qobject_cast<BorderedBox *>(w))
            return bordered->client();
        return w;
    }
    template <typename T> T *as(Role role) const
    {
        auto *typed = qobject_cast<T *>(find(role));
        if (!typed)
            qFatal("Control %d is not a %s", int(role), T::staticMetaObject.className());
        return typed;
    }

private:
    std::array<QWidget *, std::size_t(Count)> byRole_{};
};

} // namespace

Controls buildControls(QWidget *window)
{
    Made made(window);
    std::array<PhotoBox *, 4> swatches{};
    std::vector<QWidget *> all;
    for (const Control &c : roster) {
        QWidget *w = create(c, made.parentFor(c.container));
        w->setObjectName(QString::fromUtf8(c.name));
        w->setAccessibleName(translated(c.caption));
        style(w, c);
        w->move(pixels(c.x), pixels(c.y));
        if (c.kind == Kind::Swatch) // a swatch has sized itself to its bitmap
            swatches[std::size_t(c.index)] = static_cast<PhotoBox *>(w);
        else
            w->resize(pixels(c.w), pixels(c.h));
        if (auto *label = qobject_cast<CaptionLabel *>(w))
            label->fitCaption();
        else if (translated(c.caption) != QString::fromUtf8(c.caption))
            fitCaption(w);
        made.add(c.role, w);
        all.push_back(w);
        if (c.kind != Kind::PreviewFrame)
            w->show();
    }

    // The preview covers the panes when shown; its caption lies over its image.
    made.find(PreviewFrame)->raise();
    made.find(PreviewCaption)->raise();

    QWidget *previous = nullptr;
    for (const Role role : focusOrder) {
        QWidget *w = made.find(role);
        w->setFocusPolicy(w->focusPolicy() == Qt::NoFocus ? Qt::StrongFocus : w->focusPolicy());
        if (previous)
            QWidget::setTabOrder(previous, w);
        previous = w;
    }

    const auto boxes = [&](Role red, Role green, Role blue) {
        return ChannelBoxes{made.as<QLineEdit>(red), made.as<QLineEdit>(green),
                            made.as<QLineEdit>(blue)};
    };
    return Controls{
        .previewFrame = made.as<QFrame>(PreviewFrame),
        .previewImage = made.as<PreviewImage>(PreviewPicture),
        .previewCaption = made.as<QLabel>(PreviewCaption),
        .previewToggle = made.as<QCheckBox>(PreviewToggle),
        .referencePane = made.find(ReferencePane),
        .referencePhoto = made.as<PhotoBox>(ReferencePhoto),
        .targetPane = made.find(TargetPane),
        .targetPhoto = made.as<PhotoBox>(TargetPhoto),
        .swatches = swatches,
        .progressBar = made.as<QProgressBar>(ProgressBar),
        .referenceReadout = made.as<QLineEdit>(ReferenceReadout),
        .targetReadout = made.as<QLineEdit>(TargetReadout),
        .referenceBoxes = boxes(ReferenceRed, ReferenceGreen, ReferenceBlue),
        .targetBoxes = boxes(TargetRed, TargetGreen, TargetBlue),
        .differenceBoxes = boxes(DifferenceRed, DifferenceGreen, DifferenceBlue),
        .reloadButton = made.as<QPushButton>(ReloadButton),
        .correctButton = made.as<QPushButton>(CorrectButton),
        .saveButton = made.as<QPushButton>(SaveButton),
        .helpButton = made.as<QPushButton>(HelpButton),
        .exitButton = made.as<QPushButton>(ExitButton),
        .importReferenceButton = made.as<QPushButton>(ImportReferenceButton),
        .importTargetButton = made.as<QPushButton>(ImportTargetButton),
        .all = std::move(all),
    };
}
