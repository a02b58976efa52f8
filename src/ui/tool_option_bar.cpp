#include "ui/tool_option_bar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QSlider>
#include <QSpinBox>
#include <QStyledItemDelegate>

#include "image/redact.h"
#include "ui/colour_picker.h"
#include "ui/stamp_list.h"

namespace glimmora {

namespace {

// Dialog-template control identifiers, kept as the pickers' identifiers in their signals.
enum : int {
    kIdLineColour = 1071,
    kIdArrowColour = 1072,
    kIdHighlightColour = 1070,
    kIdTextBack = 1059,
    kIdBorder = 1068,
    kIdShapeBack = 1060,
    kIdRedactColour = 1077,
    kIdCounterColour = 1078,
    kIdPenColour = 1079,
};

QComboBox* AddCombo(QHBoxLayout* row, QWidget* parent, const char* label, const char* name,
                    const QStringList& items) {
    auto* combo = new QComboBox(parent);
    combo->addItems(items);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    combo->setAccessibleName(name);
    if (label) {
        auto* text = new QLabel(label, parent);
        text->setBuddy(combo);
        row->addWidget(text);
    }
    row->addWidget(combo);
    return combo;
}

CXColourPicker* AddPicker(QHBoxLayout* row, QWidget* parent, const char* label, const char* name, int id) {
    auto* picker = new CXColourPicker(parent, id);
    picker->setAccessibleName(name);
    picker->setToolTip(name);
    if (label) {
        auto* text = new QLabel(label, parent);
        text->setBuddy(picker);
        row->addWidget(text);
    }
    row->addWidget(picker);
    return picker;
}

// Stamps have no caption: without this the empty caption still shows a selection mark under the icon.
class IconOnlyDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->features &= ~QStyleOptionViewItem::HasDisplay;
        option->text.clear();
    }
};

QStringList Numbers() {
    QStringList items;
    for (int i = 1; i <= 10; ++i) items << QString::number(i);
    return items;
}

}  // namespace

ToolOptionPanel::ToolOptionPanel(int kind, QWidget* parent) : QWidget(parent), kind_(kind) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    switch (kind) {
        case kToolText:
            boxStyle = AddCombo(row, this, "Box style:", "Box style", {"Solid", "Transparent"});
            textBack = AddPicker(row, this, "Back color:", "Back color", kIdTextBack);
            break;
        case kToolLine:
            width = AddCombo(row, this, "Width:", "Width", Numbers());
            lineStyle = AddCombo(row, this, "Line style:", "Line style", {"Solid", "Dot"});
            colour = AddPicker(row, this, nullptr, "Color", kIdLineColour);
            break;
        case kToolArrow:
            arrowStyle = AddCombo(row, this, "Style:", "Style", {"Fill Arrow", "Empty Arrow"});
            colour = AddPicker(row, this, "Color:", "Color", kIdArrowColour);
            break;
        case kToolShape: {
            shape = AddCombo(row, this, nullptr, "Shape",
                             {"Rectangle", "Ellipse", "Rectangle(Fill)", "Ellipse(Fill)"});
            width = AddCombo(row, this, "Width:", "Width", Numbers());
            // The width again, to step with the arrows or type: a spin box that set nothing confused.
            auto* spinLabel = new QLabel("Border width:", this);
            widthSpin = new QSpinBox(this);
            widthSpin->setAccessibleName("Border width");
            spinLabel->setBuddy(widthSpin);
            row->addWidget(spinLabel);
            row->addWidget(widthSpin);
            border = AddPicker(row, this, "Border:", "Border", kIdBorder);
            shapeBack = AddPicker(row, this, "Back:", "Back", kIdShapeBack);
            break;
        }
        case kToolHighlight:
            colour = AddPicker(row, this, "Color:", "Color", kIdHighlightColour);
            break;
        case kToolStamp: {
            stamps = new QListWidget(this);
            stamps->setAccessibleName("Stamps");
            stamps->setViewMode(QListView::IconMode);
            stamps->setFlow(QListView::LeftToRight);
            stamps->setWrapping(false);
            stamps->setMovement(QListView::Static);
            stamps->setIconSize(QSize(kStampIconWidth, kStampIconHeight));
            stamps->setGridSize(QSize(50, 37));
            stamps->setItemDelegate(new IconOnlyDelegate(stamps));
            stamps->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            stamps->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
            const int frame = 2 * stamps->frameWidth();
            stamps->setFixedHeight(37 + frame + stamps->horizontalScrollBar()->sizeHint().height() + 2);
            stamps->setMinimumWidth(6 * 50 + frame);
            row->addWidget(stamps);
            break;
        }
        case kToolRedact: {
            redactMethod = AddCombo(row, this, "Method:", "Method", {"Pixelate", "Blur", "Solid"});
            const auto spin = [&](const char* label, const char* name) {
                auto* text = new QLabel(label, this);
                auto* box = new QSpinBox(this);
                box->setAccessibleName(name);
                // Smaller blocks or radii leave text readable: the box does not offer them.
                box->setRange(kMinRedactBlock, kMaxRedactSize);
                box->setSuffix(" px");
                text->setBuddy(box);
                row->addWidget(text);
                row->addWidget(box);
                return box;
            };
            redactBlock = spin("Block size:", "Block size");
            redactRadius = spin("Blur radius:", "Blur radius");
            colour = AddPicker(row, this, "Color:", "Color", kIdRedactColour);
            break;
        }
        case kToolCounter: {
            counterShape = AddCombo(row, this, nullptr, "Shape", {"Circle", "Rounded square"});
            width = AddCombo(row, this, "Size:", "Size", Numbers());
            colour = AddPicker(row, this, "Color:", "Color", kIdCounterColour);
            auto* startLabel = new QLabel("Start at:", this);
            counterStart = new QSpinBox(this);
            counterStart->setRange(0, 9999);
            counterStart->setAccessibleName("Start at");
            startLabel->setBuddy(counterStart);
            row->addWidget(startLabel);
            row->addWidget(counterStart);
            renumber = new QCheckBox("Renumber", this);
            renumber->setToolTip("Deleting a step takes one off the steps after it");
            row->addWidget(renumber);
            break;
        }
        case kToolPen:
        case kToolMarker:
            width = AddCombo(row, this, "Width:", "Width", Numbers());
            colour = AddPicker(row, this, "Color:", "Color", kIdPenColour);
            break;
        default: {
            auto* text = new QLabel("no parameter", this);
            row->addWidget(text);
            break;
        }
    }
    // A redaction is always opaque and unshadowed.
    if (kind == kToolText || (kind >= kToolLine && kind != kToolRedact)) {
        auto* label = new QLabel("Opacity:", this);
        opacity = new QSlider(Qt::Horizontal, this);
        opacity->setRange(0, 100);
        opacity->setMinimumWidth(100);
        opacity->setAccessibleName("Opacity");
        label->setBuddy(opacity);
        row->addWidget(label);
        row->addWidget(opacity);
        shadow = new QCheckBox("Shadow", this);
        row->addWidget(shadow);
    }
    row->addStretch(1);
}

ToolOptionBar::ToolOptionBar(QWidget* parent, const QString& stampFolder)
    : QDockWidget("Param Setting", parent), stampFolder_(stampFolder) {
    setObjectName("ToolOptionBar");
    setAccessibleName("Param Setting");
    if (stampFolder_.isEmpty()) stampFolder_ = QCoreApplication::applicationDirPath() + "/stamps";
    host_ = new QWidget(this);
    host_->setAccessibleName("Param Setting");
    auto* layout = new QHBoxLayout(host_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWidget(host_);
    // However narrow the panel, the title stays whole.
    host_->setMinimumWidth(fontMetrics().horizontalAdvance(windowTitle()) + 4 * fontMetrics().height());
}

ToolOptionBar::~ToolOptionBar() = default;

void ToolOptionBar::SetKind(int toolNumber) {
    if (toolNumber == kind_ || toolNumber < kToolSelect || toolNumber > kToolMarker) return;
    if (kind_ >= 0) kept_[kind_] = values_;
    if (panel_) {
        // The change may come from inside one of the old panel's own signals: it goes once they return.
        for (QObject* control : panel_->findChildren<QObject*>()) control->disconnect(this);
        host_->layout()->removeWidget(panel_);
        panel_->hide();
        panel_->deleteLater();
    }
    kind_ = toolNumber;
    values_ = Values{};
    panel_ = new ToolOptionPanel(toolNumber, host_);
    host_->layout()->addWidget(panel_);
    ApplyDefaults(toolNumber);
    if (auto kept = kept_.find(toolNumber); kept != kept_.end()) {
        // The stamps are listed afresh below.
        values_ = kept->second;
        values_.stampPaths.clear();
    }
    if (toolNumber == kToolStamp) FillStamps();
    ShowValues();
    Connect();
    panel_->show();
}

void ToolOptionBar::ApplyDefaults(int kind) {
    Values& v = values_;
    switch (kind) {
        case kToolText:
            v.boxStyle = 1;
            v.opacity = 0;
            v.textBack = 0xFFFFFF;
            v.shadow = 1;
            break;
        case kToolLine:
            v.opacity = 0;
            v.colour = 0x000000;
            v.width = 2;
            v.lineStyle = 0;
            v.shadow = 1;
            break;
        case kToolArrow:
            v.opacity = 0;
            v.arrowStyle = 0;
            v.colour = 0x000000;
            v.shadow = 1;
            break;
        case kToolShape:
            v.width = 2;
            v.opacity = 0;
            v.shape = 0;
            v.border = 0x000000;
            v.shapeBack = 0x808000;
            v.shadow = 1;
            break;
        case kToolHighlight:
            v.opacity = 50;
            v.colour = 0x800000;
            v.shadow = 1;
            break;
        case kToolStamp:
            v.opacity = 0;
            v.shadow = 1;
            break;
        case kToolCounter:
            v.opacity = 0;
            v.shadow = 1;
            v.width = 3;
            v.colour = 0x2020D0;
            break;
        case kToolPen:
            v.opacity = 0;
            v.shadow = 0;
            v.width = 3;
            v.colour = 0x0000FF;
            break;
        case kToolMarker:
            // Wide and see-through, in a highlighter's yellow.
            v.opacity = 50;
            v.shadow = 0;
            v.width = 4;
            v.colour = 0x00FFFF;
            break;
        case kToolRedact:
            v.opacity = 0;
            v.shadow = 0;
            v.redactMethod = kRedactSolid;
            v.redactBlock = kDefaultRedactBlock;
            v.redactRadius = kDefaultRedactRadius;
            v.colour = 0x000000;
            v.redactColour = 0x000000;
            break;
        default:
            break;
    }
}

void ToolOptionBar::FillStamps() {
    QListWidget* list = panel_->stamps;
    const std::vector<StampEntry> stamps = stamps_.Read(stampFolder_);
    list->setUpdatesEnabled(false);
    for (const StampEntry& stamp : stamps) {
        values_.stampPaths.push_back(stamp.path);
        auto* item = new QListWidgetItem(QIcon(QPixmap::fromImage(stamp.icon)), QString(), list);
        // No caption under the picture, but its name for tooltips and screen readers.
        const QString name = QFileInfo(QFile::decodeName(stamp.path.c_str())).completeBaseName();
        item->setToolTip(name);
        item->setData(Qt::AccessibleTextRole, name);
    }
    list->setUpdatesEnabled(true);
    // The stamp chosen last time while it is still there, else the first.
    const int count = static_cast<int>(stamps.size());
    values_.stamp = count == 0 ? 0 : values_.stamp >= 1 && values_.stamp <= count ? values_.stamp : 1;
    if (count > 0) list->setFocus();
}

// Puts the stored values into the controls without reporting them as the user's changes.
void ToolOptionBar::ShowValues() {
    ToolOptionPanel* p = panel_;
    if (!p) return;
    const QSignalBlocker b0(p->width), b1(p->lineStyle), b2(p->boxStyle), b3(p->arrowStyle), b4(p->shape),
        b5(p->opacity), b6(p->shadow), b7(p->stamps), b8(p->widthSpin), b9(p->redactMethod),
        b10(p->redactBlock), b11(p->redactRadius), b12(p->counterShape), b13(p->counterStart),
        b14(p->renumber);
    const auto index = [](QComboBox* combo, int value) {
        if (combo) combo->setCurrentIndex(value >= 0 && value < combo->count() ? value : -1);
    };
    index(p->width, values_.width - 1);
    index(p->lineStyle, values_.lineStyle);
    index(p->boxStyle, values_.boxStyle);
    index(p->arrowStyle, values_.arrowStyle);
    index(p->shape, values_.shape);
    if (p->widthSpin) {
        p->widthSpin->setRange(1, 10);
        p->widthSpin->setValue(values_.width);
    }
    if (p->redactMethod) {
        index(p->redactMethod, values_.redactMethod);
        p->redactBlock->setValue(values_.redactBlock);
        p->redactRadius->setValue(values_.redactRadius);
        // Only the method's own value can be changed.
        p->redactBlock->setEnabled(values_.redactMethod == kRedactPixelate);
        p->redactRadius->setEnabled(values_.redactMethod == kRedactBlur);
        p->colour->setEnabled(values_.redactMethod == kRedactSolid);
        p->colour->SetColour(values_.redactColour);
    } else if (p->colour) {
        p->colour->SetColour(values_.colour);
    }
    index(p->counterShape, values_.counterShape);
    if (p->counterStart) p->counterStart->setValue(values_.counterStart);
    if (p->renumber) p->renumber->setChecked(values_.renumber != 0);
    if (p->textBack) p->textBack->SetColour(values_.textBack);
    if (p->border) p->border->SetColour(values_.border);
    if (p->shapeBack) p->shapeBack->SetColour(values_.shapeBack);
    if (p->opacity) p->opacity->setValue(values_.opacity);
    if (p->shadow) p->shadow->setChecked(values_.shadow != 0);
    if (p->stamps) {
        const int row = values_.stamp - 1;
        if (row >= 0 && row < p->stamps->count())
            p->stamps->setCurrentRow(row);
        else
            p->stamps->clearSelection();
    }
}

void ToolOptionBar::Connect() {
    ToolOptionPanel* p = panel_;
    const auto combo = [this](QComboBox* box, int Values::*field, int offset) {
        if (!box) return;
        connect(box, &QComboBox::currentIndexChanged, this, [this, field, offset](int index) {
            values_.*field = index + offset;
            emit panelChanged();
        });
    };
    combo(p->width, &Values::width, 1);
    if (p->width && p->widthSpin) {
        // The two width controls show the one value.
        connect(p->width, &QComboBox::currentIndexChanged, this, [p](int index) {
            const QSignalBlocker quiet(p->widthSpin);
            p->widthSpin->setValue(index + 1);
        });
        connect(p->widthSpin, &QSpinBox::valueChanged, this, [this, p](int value) {
            values_.width = value;
            const QSignalBlocker quiet(p->width);
            p->width->setCurrentIndex(value - 1);
            emit panelChanged();
        });
    }
    combo(p->lineStyle, &Values::lineStyle, 0);
    combo(p->boxStyle, &Values::boxStyle, 0);
    combo(p->arrowStyle, &Values::arrowStyle, 0);
    combo(p->shape, &Values::shape, 0);
    combo(p->counterShape, &Values::counterShape, 0);
    if (p->counterStart)
        connect(p->counterStart, &QSpinBox::valueChanged, this,
                [this](int value) { values_.counterStart = value; });
    if (p->renumber)
        connect(p->renumber, &QCheckBox::toggled, this, [this](bool on) { values_.renumber = on ? 1 : 0; });
    const auto picker = [this](CXColourPicker* button, ColorRef Values::*field) {
        if (!button) return;
        connect(button, &CXColourPicker::selChange, this, [this, field](ColorRef colour, int) {
            values_.*field = colour;
            emit panelChanged();
        });
    };
    picker(p->colour, p->redactMethod ? &Values::redactColour : &Values::colour);
    if (p->redactMethod) {
        connect(p->redactMethod, &QComboBox::currentIndexChanged, this, [this](int index) {
            values_.redactMethod = index;
            ShowValues();
            emit panelChanged();
        });
        const auto spin = [this](QSpinBox* box, int Values::*field) {
            connect(box, &QSpinBox::valueChanged, this, [this, field](int value) {
                values_.*field = value;
                emit panelChanged();
            });
        };
        spin(p->redactBlock, &Values::redactBlock);
        spin(p->redactRadius, &Values::redactRadius);
    }
    picker(p->textBack, &Values::textBack);
    picker(p->border, &Values::border);
    picker(p->shapeBack, &Values::shapeBack);
    if (p->opacity) {
        connect(p->opacity, &QSlider::valueChanged, this, [this](int value) {
            values_.opacity = value;
            emit panelChanged();
        });
        p->opacity->installEventFilter(this);
        connect(p->opacity, &QSlider::sliderPressed, this, [this] { dragSerial_ = ++drags_; });
        connect(p->opacity, &QSlider::sliderReleased, this, [this] { dragSerial_ = 0; });
    }
    if (p->shadow) {
        connect(p->shadow, &QCheckBox::clicked, this, [this](bool on) {
            values_.shadow = on ? 1 : 0;
            emit panelChanged();
        });
    }
    if (p->stamps) {
        QListWidget* list = p->stamps;
        connect(list, &QListWidget::currentRowChanged, this, [this](int row) { values_.stamp = row + 1; });
        connect(list, &QListWidget::clicked, this, [this, list] {
            values_.stamp = list->currentRow() + 1;
            emit panelChanged();
        });
    }
}

// The slider reports its position whenever it paints; a position set from an object arrives that way too.
bool ToolOptionBar::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Paint && panel_ && watched == panel_->opacity)
        values_.opacity = panel_->opacity->value();
    return QDockWidget::eventFilter(watched, event);
}

void ToolOptionBar::SetWidth(int width) {
    values_.width = width;
    ShowValues();
}
void ToolOptionBar::SetLineStyle(int style) {
    values_.lineStyle = style;
    ShowValues();
}
void ToolOptionBar::SetBoxStyle(int style) {
    values_.boxStyle = style;
    ShowValues();
}
void ToolOptionBar::SetArrowStyle(int style) {
    values_.arrowStyle = style;
    ShowValues();
}
void ToolOptionBar::SetShape(int shape) {
    values_.shape = shape;
    ShowValues();
}
void ToolOptionBar::SetColour(ColorRef colour) {
    values_.colour = colour;
    ShowValues();
}
void ToolOptionBar::SetTextBackColour(ColorRef colour) {
    values_.textBack = colour;
    ShowValues();
}
void ToolOptionBar::SetBorderColour(ColorRef colour) {
    values_.border = colour;
    ShowValues();
}
void ToolOptionBar::SetShapeBackColour(ColorRef colour) {
    values_.shapeBack = colour;
    ShowValues();
}
void ToolOptionBar::SetOpacity(int value) {
    values_.opacity = value;
    ShowValues();
}
void ToolOptionBar::SetShadow(int on) {
    values_.shadow = on ? 1 : 0;
    ShowValues();
}
void ToolOptionBar::SetStampNumber(int number) {
    values_.stamp = number;
    ShowValues();
}

void ToolOptionBar::SetCounterShape(int shape) {
    values_.counterShape = shape;
    ShowValues();
}
void ToolOptionBar::SetCounterStart(int number) {
    values_.counterStart = number;
    ShowValues();
}
void ToolOptionBar::SetRenumber(bool on) {
    values_.renumber = on ? 1 : 0;
    ShowValues();
}

void ToolOptionBar::SetRedactMethod(int method) {
    values_.redactMethod = method;
    ShowValues();
}
void ToolOptionBar::SetRedactBlock(int size) {
    values_.redactBlock = size;
    ShowValues();
}
void ToolOptionBar::SetRedactRadius(int radius) {
    values_.redactRadius = radius;
    ShowValues();
}
void ToolOptionBar::SetRedactColour(ColorRef colour) {
    values_.redactColour = colour;
    ShowValues();
}

const Image* ToolOptionBar::StampImage() const {
    const int index = values_.stamp - 1;
    if (index < 0 || index >= static_cast<int>(values_.stampPaths.size())) return nullptr;
    const std::string& path = values_.stampPaths[static_cast<size_t>(index)];
    if (stampImage_ && stampImagePath_ == path) return stampImage_.get();
    auto picture = std::make_unique<Image>();
    if (!picture->Load(path)) return nullptr;
    stampImage_ = std::move(picture);
    stampImagePath_ = path;
    return stampImage_.get();
}

const char* ToolOptionBar::StyleKey(int toolNumber) {
    switch (toolNumber) {
        case kToolText:
            return "Text";
        case kToolLine:
            return "Line";
        case kToolArrow:
            return "Arrow";
        case kToolShape:
            return "Shape";
        case kToolHighlight:
            return "Highlight";
        case kToolStamp:
            return "Stamp";
        case kToolRedact:
            return "Redact";
        case kToolCounter:
            return "Counter";
        case kToolPen:
            return "Pen";
        case kToolMarker:
            return "Marker";
        default:
            return nullptr;
    }
}

namespace {
struct StyleNumber {
    const char* name;
    int low, high;
};
struct StyleColour {
    const char* name;
};
constexpr StyleNumber kStyleNumbers[] = {{"width", 1, 10},
                                         {"lineStyle", 0, 1},
                                         {"boxStyle", 0, 1},
                                         {"arrowStyle", 0, 1},
                                         {"shape", 0, 3},
                                         {"opacity", 0, 100},
                                         {"shadow", 0, 1},
                                         {"stamp", 0, 1 << 20},
                                         {"redactMethod", 0, 2},
                                         {"redactBlock", kMinRedactBlock, kMaxRedactSize},
                                         {"redactRadius", kMinRedactBlock, kMaxRedactSize},
                                         {"counterShape", 0, 1},
                                         {"counterStart", 0, 9999},
                                         {"renumber", 0, 1}};
constexpr const char* kStyleColours[] = {"colour", "textBack", "border", "shapeBack", "redactColour"};
}  // namespace

std::string ToolOptionBar::StyleText(int toolNumber) const {
    const Values* v = toolNumber == kind_ ? &values_ : nullptr;
    if (!v) {
        const auto kept = kept_.find(toolNumber);
        if (kept == kept_.end()) return {};
        v = &kept->second;
    }
    const int numbers[] = {v->width,        v->lineStyle,    v->boxStyle,     v->arrowStyle,   v->shape,
                           v->opacity,      v->shadow,       v->stamp,        v->redactMethod, v->redactBlock,
                           v->redactRadius, v->counterShape, v->counterStart, v->renumber};
    const ColorRef colours[] = {v->colour, v->textBack, v->border, v->shapeBack, v->redactColour};
    QStringList items;
    for (size_t i = 0; i < std::size(kStyleNumbers); ++i)
        items << QString::asprintf("%s=%d", kStyleNumbers[i].name, numbers[i]);
    for (size_t i = 0; i < std::size(kStyleColours); ++i)
        items << QString::asprintf("%s=%06X", kStyleColours[i], colours[i] & 0xFFFFFF);
    return items.join(QLatin1Char(' ')).toStdString();
}

void ToolOptionBar::SetStyleText(int toolNumber, const std::string& text) {
    if (!StyleKey(toolNumber)) return;
    const Values current = values_;
    values_ = Values{};
    ApplyDefaults(toolNumber);  // into values_, then moved to the tool's place
    Values v = values_;
    values_ = current;
    int* numbers[] = {&v.width,        &v.lineStyle,    &v.boxStyle,     &v.arrowStyle,   &v.shape,
                      &v.opacity,      &v.shadow,       &v.stamp,        &v.redactMethod, &v.redactBlock,
                      &v.redactRadius, &v.counterShape, &v.counterStart, &v.renumber};
    ColorRef* colours[] = {&v.colour, &v.textBack, &v.border, &v.shapeBack, &v.redactColour};
    for (const QString& item : QString::fromStdString(text).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString name = item.section(QLatin1Char('='), 0, 0), value = item.section(QLatin1Char('='), 1);
        bool ok = false;
        for (size_t i = 0; i < std::size(kStyleNumbers); ++i)
            if (name == QLatin1String(kStyleNumbers[i].name)) {
                const int n = value.toInt(&ok);
                if (ok && n >= kStyleNumbers[i].low && n <= kStyleNumbers[i].high) *numbers[i] = n;
            }
        for (size_t i = 0; i < std::size(kStyleColours); ++i)
            if (name == QLatin1String(kStyleColours[i])) {
                const uint c = value.toUInt(&ok, 16);
                if (ok && value.size() == 6 && c <= 0xFFFFFF) *colours[i] = c;
            }
    }
    if (toolNumber == kind_) {
        v.stampPaths = values_.stampPaths;
        values_ = v;
        ShowValues();
    } else {
        kept_[toolNumber] = v;
    }
}

}  // namespace glimmora
