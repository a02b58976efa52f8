#include "ui/colour_picker.h"

#include <qdrawutil.h>
#include <QApplication>
#include <QColorDialog>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolTip>

namespace glimmora {

QColor ToQColor(ColorRef colour) {
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

ColorRef ToColorRef(const QColor& colour) {
    return Rgb(colour.red(), colour.green(), colour.blue());
}

namespace {

constexpr ColorRef Hex(uint32_t rgb) {
    return Rgb((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// Placeholders never match: a real colour has a zero top byte.
constexpr ColorRef kNoColour = 0xFFFFFFFF;

constexpr ColourTableEntry kNamed[56] = {
    {Hex(0x800040), "Light Maroon"},
    {Hex(0x8B0000), "Dark Red"},
    {Hex(0xFF0000), "Red"},
    {Hex(0xFF0080), "Deep Pink"},
    {Hex(0xFF00FF), "Magenta"},
    {Hex(0xFF80C0), "Pink"},
    {Hex(0xFF80FF), "Light Pink"},
    {Hex(0xFFD0E8), "Very Light Pink"},
    {Hex(0xFF8C00), "Dark Orange"},
    {Hex(0xFFA500), "Orange"},
    {Hex(0xFF8080), "Light Salmon"},
    {Hex(0xFFE0A0), "Light Orange"},
    {Hex(0xFFD700), "Gold"},
    {Hex(0xFFFF00), "Yellow"},
    {Hex(0xFFFF80), "Desert Yellow"},
    {Hex(0xFFFFB8), "Pale Yellow"},
    {Hex(0x004000), "Dark Green"},
    {Hex(0x004040), "Medium Green"},
    {Hex(0x008000), "Green"},
    {Hex(0x008040), "Dark Teal"},
    {Hex(0x808000), "Olive"},
    {Hex(0x008080), "Teal"},
    {Hex(0x408080), "Turquoise"},
    {Hex(0x00FF40), "Medium Spring Green"},
    {Hex(0x80FF00), "Mint Green"},
    {Hex(0x00FF00), "Lime"},
    {Hex(0x00FF80), "Spring Green"},
    {Hex(0x98FB98), "Pale Green"},
    {Hex(0x7FFFD4), "Aquamarine"},
    {Hex(0xC0DCC0), "Very Pale Green"},
    {Hex(0x400040), "Deep Purple"},
    {Hex(0x800080), "Purple"},
    {Hex(0x400080), "Deep Violet"},
    {Hex(0x000040), "Midnight Blue"},
    {Hex(0x0000A0), "Dark Blue"},
    {Hex(0x000080), "Navy"},
    {Hex(0x8000FF), "Violet"},
    {Hex(0x0000FF), "Blue"},
    {Hex(0x004080), "Medium Blue"},
    {Hex(0x0080FF), "Light Sky Blue"},
    {Hex(0x6495ED), "Cornflower Blue"},
    {Hex(0x8080C0), "Sky Blue"},
    {Hex(0x0080C0), "Dark Cyan"},
    {Hex(0x8080FF), "Medium Slate Blue"},
    {Hex(0x80FFFF), "Light Blue"},
    {Hex(0x00FFFF), "Cyan"},
    {Hex(0xB0E0E6), "Powder Blue"},
    {Hex(0xE0FFFF), "Light Cyan"},
    {Hex(0x000000), "Black"},
    {Hex(0x808080), "Gray"},
    {Hex(0x989898), "Gray 40%"},
    {Hex(0xC0C0C0), "Silver"},
    {Hex(0xD3D3D3), "Light Gray"},
    {Hex(0xF5F5DC), "Beige"},
    {Hex(0xFFFBF0), "Floral White"},
    {Hex(0xFFFFFF), "White"},
};

// The desktop's colours of rows 7 and 8, as the application palette gives them.
struct SystemColour {
    const char* name;
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};
constexpr SystemColour kSystem[16] = {
    {"Window", QPalette::Active, QPalette::Base},
    {"WindowText", QPalette::Active, QPalette::Text},
    {"InfoBk", QPalette::Active, QPalette::ToolTipBase},
    {"InfoText", QPalette::Active, QPalette::ToolTipText},
    {"ActiveCaption", QPalette::Active, QPalette::Highlight},
    {"CaptionText", QPalette::Active, QPalette::HighlightedText},
    {"InactiveCaption", QPalette::Disabled, QPalette::Highlight},
    {"InactiveCaptionText", QPalette::Disabled, QPalette::HighlightedText},
    {"BtnFace", QPalette::Active, QPalette::Button},
    {"BtnText", QPalette::Active, QPalette::ButtonText},
    {"BtnShadow", QPalette::Active, QPalette::Dark},
    {"BtnHighlight", QPalette::Active, QPalette::Light},
    {"Highlight", QPalette::Active, QPalette::Highlight},
    {"HighlightText", QPalette::Active, QPalette::HighlightedText},
    {"3DLight", QPalette::Active, QPalette::Midlight},
    {"Desktop", QPalette::Active, QPalette::Shadow},
};

constexpr const char* kPlaceholderNames[16] = {"1", "2",  "3",  "4",  "5",  "6",  "7",  "8",
                                               "9", "10", "11", "12", "13", "14", "15", "16"};
constexpr const char* kCustomNames[16] = {
    "Custom color 1",  "Custom color 2",  "Custom color 3",  "Custom color 4",
    "Custom color 5",  "Custom color 6",  "Custom color 7",  "Custom color 8",
    "Custom color 9",  "Custom color 10", "Custom color 11", "Custom color 12",
    "Custom color 13", "Custom color 14", "Custom color 15", "Custom color 16"};

const char kCustomText[] = "Custom...";
const char kCustomTip[] = "Selects a custom color";

}  // namespace

std::array<ColourTableEntry, kPopupRows * kPopupColumns> ColourTable(const CustomColours& custom) {
    std::array<ColourTableEntry, kPopupRows * kPopupColumns> table{};
    for (int i = 0; i < 56; ++i) table[i] = kNamed[i];
    const QPalette palette = QApplication::palette();
    for (int i = 0; i < 16; ++i)
        table[56 + i] = {ToColorRef(palette.color(kSystem[i].group, kSystem[i].role)), kSystem[i].name};
    for (int i = 0; i < 16; ++i) table[72 + i] = {kNoColour, kPlaceholderNames[i]};
    for (int i = 0; i < 16; ++i) table[88 + i] = {custom[i], kCustomNames[i]};
    return table;
}

// ---------------------------------------------------------------------------------------------- popup

ColourPopup::ColourPopup(CXColourPicker* picker, QPoint screenPos, ColorRef colour,
                         const CustomColours& custom)
    : QWidget(picker, Qt::Popup | Qt::FramelessWindowHint),
      picker_(picker),
      table_(ColourTable(custom)),
      custom_(custom),
      opening_(colour),
      pending_(colour) {
    setAttribute(Qt::WA_DeleteOnClose);
    setMouseTracking(true);
    setAccessibleName("Colors");
    for (int i = 0; i < kPopupRows * kPopupColumns; ++i) {
        if (table_[i].colour == colour) {
            lastRow_ = i / kPopupColumns;
            lastColumn_ = i % kPopupColumns;
            break;
        }
    }
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(192, 192, 192));
    setPalette(pal);
    setAutoFillBackground(true);

    // Cells grow with the font so that "Custom..." fits its row.
    margin_ = 2;
    const QFontMetrics metrics(font());
    cell_ = std::max({18, 2 * margin_ + 7, metrics.height() + 2 * margin_});
    const int textWidth = metrics.horizontalAdvance(kCustomText);
    const int width = std::max(kPopupColumns * cell_ + 2 * margin_, textWidth + 4 * margin_);
    const int height = kPopupRows * cell_ + 2 * margin_;
    customRect_ = QRect(margin_, margin_ + kCustomButtonRow * cell_, width - 2 * margin_, cell_);
    separatorRect_ = QRect(margin_, margin_ + kSeparatorRow * cell_, width - 2 * margin_, cell_);
    setFixedSize(width, height);

    // Keep the grid on the screen the picker is on.
    QPoint pos = screenPos;
    if (QScreen* screen = picker ? picker->screen() : nullptr) {
        const QRect area = screen->availableGeometry();
        if (pos.x() + width > area.right() + 1) pos.setX(area.right() + 1 - width);
        if (pos.y() + height > area.bottom() + 1 && picker)
            pos.setY(picker->mapToGlobal(QPoint(0, 0)).y() - height);
        pos.setX(std::max(pos.x(), area.left()));
        pos.setY(std::max(pos.y(), area.top()));
    }
    move(pos);
    show();
    setFocus();
}

QRect ColourPopup::CellRect(int row, int column) const {
    if (row == kCustomButtonRow) return customRect_;
    if (row == kSeparatorRow) return separatorRect_;
    return QRect(margin_ + column * cell_, margin_ + row * cell_, cell_, cell_);
}

QPoint ColourPopup::CellCentre(int row, int column) const {
    return CellRect(row, column).center();
}

void ColourPopup::CellAt(QPoint pos, int& row, int& column) const {
    row = column = -1;
    if (customRect_.contains(pos)) {
        row = kCustomButtonRow;
        column = 0;
        return;
    }
    if (separatorRect_.contains(pos)) {
        row = kSeparatorRow;
        column = 0;
        return;
    }
    if (pos.x() < margin_ || pos.y() < margin_) return;
    const int r = (pos.y() - margin_) / cell_;
    const int c = (pos.x() - margin_) / cell_;
    if (r >= kPopupRows || c >= kPopupColumns || r == kSeparatorRow) return;
    row = r;
    column = c;
}

ColorRef ColourPopup::CellColour(int row, int column) const {
    if (row == kCustomButtonRow) return opening_;
    if (row >= kFirstCustomRow) return custom_[(row - kFirstCustomRow) * kPopupColumns + column];
    return table_[row * kPopupColumns + column].colour;
}

void ColourPopup::ChangeHover(int row, int column) {
    if (row == hoverRow_ && column == hoverColumn_) return;
    if (hoverRow_ >= 0) update(CellRect(hoverRow_, hoverColumn_));
    hoverRow_ = row;
    hoverColumn_ = column;
    if (row < 0 || row == kSeparatorRow) return;
    update(CellRect(row, column));
    const ColorRef colour = CellColour(row, column);
    if (row != kCustomButtonRow) pending_ = colour;
    emit selChange(colour);
}

void ColourPopup::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& pal = palette();
    const QColor face = QApplication::palette().color(QPalette::Button);
    for (int row = 0; row < kPopupRows; ++row) {
        if (row == kSeparatorRow) {
            const int y = separatorRect_.center().y();
            painter.fillRect(separatorRect_, face);
            qDrawShadeLine(&painter, separatorRect_.left(), y, separatorRect_.right(), y, pal, true, 2, 0);
            continue;
        }
        if (row == kCustomButtonRow) {
            painter.fillRect(customRect_, face);
            if (hoverRow_ == kCustomButtonRow) qDrawShadePanel(&painter, customRect_, pal, false, 1);
            painter.setPen(QApplication::palette().color(QPalette::ButtonText));
            painter.drawText(customRect_, Qt::AlignCenter, kCustomText);
            continue;
        }
        for (int column = 0; column < kPopupColumns; ++column) {
            const QRect rect = CellRect(row, column);
            painter.fillRect(rect, face);
            if (row == hoverRow_ && column == hoverColumn_)
                qDrawShadePanel(&painter, rect, pal, false, 1);
            else if (row == lastRow_ && column == lastColumn_)
                qDrawShadePanel(&painter, rect, pal, true, 1);
            const QRect swatch = rect.adjusted(margin_ + 1, margin_ + 1, -(margin_ + 1), -(margin_ + 1));
            painter.setPen(QApplication::palette().color(QPalette::Dark));
            painter.setBrush(ToQColor(CellColour(row, column)));
            painter.drawRect(swatch.adjusted(0, 0, -1, -1));
        }
    }
    qDrawShadePanel(&painter, rect(), pal, false, 1);
}

bool ColourPopup::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        int row, column;
        CellAt(help->pos(), row, column);
        if (row == kCustomButtonRow)
            QToolTip::showText(help->globalPos(), kCustomTip, this, customRect_);
        else if (row >= 0 && row != kSeparatorRow)
            QToolTip::showText(help->globalPos(), table_[row * kPopupColumns + column].name, this,
                               CellRect(row, column));
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

void ColourPopup::mouseMoveEvent(QMouseEvent* event) {
    int row, column;
    CellAt(event->position().toPoint(), row, column);
    ChangeHover(row, column);
}

// A press outside must not close the grid at once: the release decides.
void ColourPopup::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void ColourPopup::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    int row, column;
    CellAt(pos, row, column);
    if (rect().contains(pos)) ChangeHover(row, column);
    End(rect().contains(pos));
}

void ColourPopup::keyPressEvent(QKeyEvent* event) {
    int row = hoverRow_, column = hoverColumn_;
    if (row < 0) {
        row = lastRow_;
        column = lastColumn_;
    }
    switch (event->key()) {
        case Qt::Key_Down:
            if (row < 0) column = 0;
            if (row == kSeparatorRow - 1)
                row = kCustomButtonRow;
            else if (row >= kPopupRows - 1)
                row = 0;
            else
                ++row;
            break;
        case Qt::Key_Up:
            if (row < 0) {
                row = kPopupRows - 1;
                column = 0;
            } else if (row == kCustomButtonRow) {
                row = kSeparatorRow - 1;
            } else if (row == 0) {
                row = kPopupRows - 1;
            } else {
                --row;
            }
            break;
        case Qt::Key_Right:
            if (column < 0) {
                row = 0;
                column = 0;
            } else {
                column = column >= kPopupColumns - 1 ? 0 : column + 1;
            }
            break;
        case Qt::Key_Left:
            if (column < 0) {
                row = kPopupRows - 1;
                column = kPopupColumns - 1;
            } else {
                column = column == 0 ? kPopupColumns - 1 : column - 1;
            }
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            End(true);
            return;
        case Qt::Key_Escape:
            pending_ = opening_;
            End(false);
            return;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    ChangeHover(row, column);
}

void ColourPopup::ChooseCustom() {
    choosing_ = true;
    // A shown popup keeps the pointer and keyboard to itself and stays above every window, so it steps
    // aside while the dialog runs and takes them back afterwards.
    hide();
    for (int i = 0; i < 16; ++i) QColorDialog::setCustomColor(i, ToQColor(custom_[i]));
    QColorDialog dialog(ToQColor(opening_), this);
    dialog.setWindowTitle("Color");
    if (dialog.exec() == QDialog::Accepted) {
        pending_ = ToColorRef(dialog.selectedColor());
        for (int i = 0; i < 16; ++i) custom_[i] = ToColorRef(QColorDialog::customColor(i));
    }
    choosing_ = false;
    // The pointer has to move over a cell again before a cell counts as hovered.
    hoverRow_ = hoverColumn_ = -1;
    show();
    update();
    activateWindow();
    setFocus();
}

void ColourPopup::End(bool ok) {
    if (ended_ || choosing_) return;
    if (ok && hoverRow_ == kSeparatorRow) return;
    if (ok && hoverRow_ == kCustomButtonRow) {
        ChooseCustom();
        return;
    }
    ended_ = true;
    const ColorRef result = ok ? pending_ : opening_;
    lastRow_ = hoverRow_;
    lastColumn_ = hoverColumn_;
    if (picker_) picker_->SetCustoms(custom_);
    if (ok)
        emit selEndOk(result, lastRow_, lastColumn_);
    else
        emit selEndCancel(result, lastRow_, lastColumn_);
    close();
}

// Closed from outside (another window took the pointer): that is a cancel.
void ColourPopup::closeEvent(QCloseEvent* event) {
    if (choosing_) {
        event->ignore();
        return;
    }
    if (!ended_) {
        pending_ = opening_;
        End(false);
    }
    QWidget::closeEvent(event);
}

// --------------------------------------------------------------------------------------------- picker

CXColourPicker::CXColourPicker(QWidget* parent, int controlId)
    : QPushButton(parent),
      defaultColour_(ToColorRef(QApplication::palette().color(QPalette::Dark))),
      controlId_(controlId) {
    custom_.fill(Rgb(255, 255, 255));
    setAccessibleName("Color");
    connect(this, &QPushButton::clicked, this, &CXColourPicker::OpenPopup);
}

void CXColourPicker::SetColour(ColorRef colour) {
    colour_ = shown_ = colour;
    setAccessibleDescription(ToQColor(colour).name());
    update();
}

QSize CXColourPicker::sizeHint() const {
    const QFontMetrics metrics(font());
    const int h = metrics.height() + 8;
    return QSize(h * 2 + 8, h);
}

void CXColourPicker::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    style()->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, this);
    const bool pushed = isDown();
    const int edge = 2;
    QRect r = rect().adjusted(edge + 2, edge + 2, -(edge + 2), -(edge + 2));
    if (pushed) r.translate(1, 1);

    // The drop-down arrow: rows of pixels, each one shorter on both sides.
    const int thumb = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    int size = std::max(thumb / 3 + 2, 5);
    if (size % 2 == 0) ++size;
    const int arrowLeft = r.right() - 2 * edge - size;
    painter.setPen(isEnabled() ? palette().color(QPalette::ButtonText)
                               : palette().color(QPalette::Disabled, QPalette::ButtonText));
    int y = r.center().y() - 2;
    for (int x = arrowLeft, len = size; len > 0; ++x, ++y, len -= 2) painter.drawLine(x, y, x + len - 1, y);

    r.setRight(arrowLeft - edge / 2 - 3);
    qDrawShadeLine(&painter, r.right(), r.top(), r.right(), r.bottom(), palette(), true, 1, 0);
    r.setRight(r.right() - 2 * edge - 1);
    if (!isEnabled()) {
        painter.fillRect(r, QColor(192, 192, 192));
        return;
    }
    const ColorRef shown = shown_ == kDefaultColourMarker ? defaultColour_ : shown_;
    painter.fillRect(r, ToQColor(shown));
    painter.setPen(Qt::black);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(r.adjusted(0, 0, -1, -1));
}

void CXColourPicker::OpenPopup() {
    auto* popup = new ColourPopup(this, mapToGlobal(rect().bottomLeft() + QPoint(0, 1)), colour_, custom_);
    connect(popup, &ColourPopup::selChange, this, &CXColourPicker::PopupSelChange);
    connect(popup, &ColourPopup::selEndOk, this, &CXColourPicker::PopupSelEndOk);
    connect(popup, &ColourPopup::selEndCancel, this, &CXColourPicker::PopupSelEndCancel);
    emit dropDown(colour_, controlId_);
}

void CXColourPicker::PopupSelChange(ColorRef colour) {
    if (!trackSelection_) return;
    shown_ = colour;
    update();
}

void CXColourPicker::PopupSelEndOk(ColorRef colour, int row, int column) {
    lastRow_ = row;
    lastColumn_ = column;
    shown_ = colour_;
    emit closeUp(colour, controlId_);
    emit selEndOk(colour, controlId_);
    if (colour != colour_) {
        SetColour(colour);
        emit selChange(colour, controlId_);
    }
    update();
}

void CXColourPicker::PopupSelEndCancel(ColorRef colour, int, int) {
    SetColour(colour);
    emit closeUp(colour, controlId_);
    emit selEndCancel(colour, controlId_);
}

}  // namespace glimmora
