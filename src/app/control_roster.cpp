#include "app/control_roster.h"

#include "app/bordered_box.h"
#include "app/caption_label.h"
#include "app/photo_box.h"
#include "app/preview_image.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <array>
#include <cmath>
#include <cstring>
#include <map>

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

struct Control
{
    const char *name;
    Kind kind;
    const char *container; // nullptr: the window
    double x, y, w, h;     // fractions come from the layout grid of 15 units per pixel
    const char *caption = "";
    QRgb text = unset;
    QRgb back = unset;
    const char *font = nullptr;
    double points = 0;
    bool bold = false;
    const char *tooltip = "";
    int index = -1;
};

const char *const swatchTip = "将鼠标移到理想皮肤处点击可选取标准肤色！";

// clang-format off
const Control roster[] = {
    {"Picture4", Kind::PreviewFrame, nullptr, 0, 0, 130, 35},
    {"Label3", Kind::Label, "Picture4", 16, 4, 97, 25, "最终效果", blue, unset, "NSimSun", 15.75, true},
    {"YuLan", Kind::Image, "Picture4", 0, 0, 241, 97},
    {"xiaoguo", Kind::CheckBox, nullptr, 840, 0, 81, 28, "效果预览", white, orange, "SimHei", 12},
    {"Picture3", Kind::Pane, nullptr, 8, 32, 410, 510, "", unset, unset, nullptr, 0, false, "按下鼠标移动后放开可移动照片"},
    {"取样图片", Kind::Photo, "Picture3", 0, 0, 410, 510, "", unset, unset, nullptr, 0, false, "将鼠标移动到理想皮肤颜色处点击选取皮肤样品！"},
    {"Picture1", Kind::Pane, nullptr, 848, 48, 66.7, 320},
    {"Picture2", Kind::Swatch, "Picture1", 0, 0, 64, 88, "", unset, white, nullptr, 0, false, swatchTip, 0},
    {"Picture2", Kind::Swatch, "Picture1", 0, 80, 64, 82, "", unset, unset, nullptr, 0, false, swatchTip, 1},
    {"Picture2", Kind::Swatch, "Picture1", 0, 160, 64, 85, "", unset, unset, nullptr, 0, false, swatchTip, 2},
    {"Picture2", Kind::Swatch, "Picture1", 0, 240, 64, 77, "", unset, unset, nullptr, 0, false, swatchTip, 3},
    {"HScroll2", Kind::Progress, nullptr, 8, 544, 833, 9},
    {"客体", Kind::Pane, nullptr, 432, 32, 410, 510},
    {"SaveForm", Kind::Photo, "客体", 0, 0, 410, 510, "", unset, unset, nullptr, 0, false, "将鼠标移动到需校正到皮肤样品一样的地方点击选取校正点！"},
    {"校正工具", Kind::Frame, nullptr, 848, 376, 66.7, 217, "校正工具", red, unset, "KaiTi_GB2312", 10.5},
    {"校正点", Kind::Button, "校正工具", 2, 15.3, 60, 25, "刷新", unset, unset, "SimHei", 14.25},
    {"校正", Kind::Button, "校正工具", 2, 40.5, 60, 25, "校正", unset, unset, "SimHei", 14.25},
    {"SaveJPG", Kind::Button, "校正工具", 2, 65.6, 60, 25, "保存", unset, unset, "SimHei", 14.25},
    {"Command1", Kind::Button, "校正工具", 2, 90.7, 60, 25, "帮助", unset, unset, "SimHei", 14.25},
    {"退出", Kind::Button, "校正工具", 0, 116, 60, 25, "退出", unset, unset, "SimHei", 14.25},
    {"Label2", Kind::Label, "校正工具", 3, 152, 25, 57, "校正量", unset, unset, "KaiTi_GB2312", 14.25, true},
    {"红", Kind::TextBox, "校正工具", 24, 144, 38, 21, "", cyan, red, "SimSun", 10.5},
    {"绿", Kind::TextBox, "校正工具", 24, 168, 38, 21, "", blue, green, "SimSun", 10.5},
    {"蓝", Kind::TextBox, "校正工具", 24, 192, 38, 20, "", cyan, blue, "SimSun", 10.5},
    {"客体工具栏", Kind::Frame, nullptr, 432, 560, 409, 33, "校正工具栏", red},
    {"导入客体", Kind::Button, "客体工具栏", 3.3, 13.3, 105, 17, "导入将校正照片"},
    {"Text2", Kind::TextBox, "客体工具栏", 120, 8, 139, 23, "", red, readout, "SimSun", 10.5},
    {"客红", Kind::TextBox, "客体工具栏", 264, 8, 40, 23.3, "", cyan, red, "SimSun", 10.5},
    {"客绿", Kind::TextBox, "客体工具栏", 312, 8, 40, 23.3, "", blue, green, "SimSun", 10.5},
    {"客蓝", Kind::TextBox, "客体工具栏", 360, 8, 40, 23.3, "", cyan, blue, "SimSun", 10.5},
    {"主体工具栏", Kind::Frame, nullptr, 8, 560, 409, 33, "标准照片栏", red},
    {"导入主体", Kind::Button, "主体工具栏", 3.3, 13.3, 89, 17, "导入标准照片"},
    {"Text1", Kind::TextBox, "主体工具栏", 112, 8, 139, 22.3, "", red, readout, "SimSun", 10.5},
    {"主红", Kind::TextBox, "主体工具栏", 264, 8, 40, 23.3, "", cyan, red, "SimSun", 10.5},
    {"主绿", Kind::TextBox, "主体工具栏", 312, 8, 40, 23.3, "", blue, green, "SimSun", 10.5},
    {"主蓝", Kind::TextBox, "主体工具栏", 360, 8, 40, 23.3, "", cyan, blue, "SimSun", 10.5},
    {"Label1", Kind::Label, nullptr, 851, 32, 65, 17, "皮肤样本", blue, unset, "KaiTi_GB2312", 10.5, true},
    {"图片客体", Kind::Label, nullptr, 584, 8, 105, 17, "将校正照片", unset, unset, "KaiTi_GB2312", 15, true},
    {"图片主体", Kind::Label, nullptr, 176, 8, 89, 25, "标准照片", unset, unset, "KaiTi_GB2312", 15, true},
};

// Controls that take the focus, in tab order.
const char *const focusOrder[] = {
    "校正点", "校正", "退出", "导入主体", "导入客体", "SaveJPG", "Text1", "Text2", "蓝", "绿", "红",
    "主绿", "主蓝", "主红", "客蓝", "客绿", "客红", "Command1", "xiaoguo",
};
// clang-format on

QWidget *create(const Control &c, QWidget *parent)
{
    const QString caption = QString::fromUtf8(c.caption);
    switch (c.kind) {
    case Kind::Pane:
        return new BorderedBox(BoxBorder::Sunken, parent);
    case Kind::Photo:
        return new PhotoBox(BoxBorder::Sunken, parent);
    case Kind::Swatch: {
        auto *swatch = new PhotoBox(BoxBorder::Flat, parent);
        swatch->setProperty(swatchIndexProperty, c.index);
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
        w->setToolTip(QString::fromUtf8(c.tooltip));
}

int pixels(double value)
{
    return int(std::lround(value));
}

// The controls made so far, by name; the swatches share theirs, so the last one made is kept.
class Made
{
public:
    explicit Made(QWidget *window)
        : window_(window)
    {}
    void add(const char *name, QWidget *w) { byName_[name] = w; }
    QWidget *find(const char *name) const
    {
        if (!name)
            return window_;
        const auto it = byName_.find(name);
        if (it == byName_.end())
            qFatal("The layout names no control %s", name);
        return it->second;
    }
    // Where a control in this container goes: inside the border of a picture box.
    QWidget *parentFor(const char *container) const
    {
        QWidget *w = find(container);
        if (auto *bordered = qobject_cast<BorderedBox *>(w))
            return bordered->client();
        return w;
    }
    template <typename T> T *as(const char *name) const
    {
        auto *typed = qobject_cast<T *>(find(name));
        if (!typed)
            qFatal("Control %s is not a %s", name, T::staticMetaObject.className());
        return typed;
    }

private:
    struct Less
    {
        bool operator()(const char *a, const char *b) const { return std::strcmp(a, b) < 0; }
    };
    QWidget *window_;
    std::map<const char *, QWidget *, Less> byName_;
};

} // namespace

Controls buildControls(QWidget *window)
{
    Made made(window);
    std::array<PhotoBox *, 4> swatches{};
    for (const Control &c : roster) {
        QWidget *w = create(c, made.parentFor(c.container));
        w->setObjectName(QString::fromUtf8(c.name));
        style(w, c);
        w->move(pixels(c.x), pixels(c.y));
        if (c.kind == Kind::Swatch) // a swatch has sized itself to its bitmap
            swatches[std::size_t(c.index)] = static_cast<PhotoBox *>(w);
        else
            w->resize(pixels(c.w), pixels(c.h));
        if (auto *label = qobject_cast<CaptionLabel *>(w))
            label->fitCaption();
        made.add(c.name, w);
        if (c.kind != Kind::PreviewFrame)
            w->show();
    }

    // The preview covers the panes when shown; its caption lies over its image.
    made.find("Picture4")->raise();
    made.find("Label3")->raise();

    QWidget *previous = nullptr;
    for (const char *name : focusOrder) {
        QWidget *w = made.find(name);
        w->setFocusPolicy(w->focusPolicy() == Qt::NoFocus ? Qt::StrongFocus : w->focusPolicy());
        if (previous)
            QWidget::setTabOrder(previous, w);
        previous = w;
    }

    const auto boxes = [&](const char *red, const char *green, const char *blue) {
        return ChannelBoxes{made.as<QLineEdit>(red), made.as<QLineEdit>(green),
                            made.as<QLineEdit>(blue)};
    };
    return Controls{
        .previewFrame = made.as<QFrame>("Picture4"),
        .previewImage = made.as<PreviewImage>("YuLan"),
        .previewCaption = made.as<QLabel>("Label3"),
        .previewToggle = made.as<QCheckBox>("xiaoguo"),
        .reference = made.as<PhotoBox>("取样图片"),
        .target = made.as<PhotoBox>("SaveForm"),
        .swatches = swatches,
        .progress = made.as<QProgressBar>("HScroll2"),
        .referenceReadout = made.as<QLineEdit>("Text1"),
        .targetReadout = made.as<QLineEdit>("Text2"),
        .referenceBoxes = boxes("主红", "主绿", "主蓝"),
        .targetBoxes = boxes("客红", "客绿", "客蓝"),
        .differenceBoxes = boxes("红", "绿", "蓝"),
        .reload = made.as<QPushButton>("校正点"),
        .correct = made.as<QPushButton>("校正"),
        .save = made.as<QPushButton>("SaveJPG"),
        .help = made.as<QPushButton>("Command1"),
        .exit = made.as<QPushButton>("退出"),
        .importReference = made.as<QPushButton>("导入主体"),
        .importTarget = made.as<QPushButton>("导入客体"),
    };
}
