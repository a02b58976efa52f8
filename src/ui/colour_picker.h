// A button showing a colour that drops down a grid of colours, and that grid.
#pragma once

#include <QPushButton>
#include <QWidget>
#include <array>

#include "editor/overlay_object.h"

class QColor;

namespace glimmora {

// The private message numbers the picker's signals stand for.
inline constexpr int kWmCpSelChange = 0x7E9;
inline constexpr int kWmCpDropDown = 0x7EA;
inline constexpr int kWmCpCloseUp = 0x7EB;
inline constexpr int kWmCpSelEndOk = 0x7EC;
inline constexpr int kWmCpSelEndCancel = 0x7ED;

// The marker colour that shows the picker's default colour instead.
inline constexpr ColorRef kDefaultColourMarker = 0xFF000000;

constexpr ColorRef Rgb(int r, int g, int b) {
    return static_cast<ColorRef>(r) | static_cast<ColorRef>(g) << 8 | static_cast<ColorRef>(b) << 16;
}
QColor ToQColor(ColorRef colour);
ColorRef ToColorRef(const QColor& colour);

using CustomColours = std::array<ColorRef, 16>;

// One cell of the popup's grid.
struct ColourTableEntry {
    ColorRef colour;
    const char* name;
};

inline constexpr int kPopupColumns = 8;
inline constexpr int kPopupRows = 13;
inline constexpr int kSeparatorRow = 9;
inline constexpr int kCustomButtonRow = 10;
inline constexpr int kFirstCustomRow = 11;

// The 104 cells as the popup would show them now: rows 7 and 8 read from the application palette, rows
// 11 and 12 from custom. Entries 72 to 87 are placeholders that match no colour.
std::array<ColourTableEntry, kPopupRows * kPopupColumns> ColourTable(const CustomColours& custom);

class CXColourPicker;

class ColourPopup : public QWidget {
    Q_OBJECT
  public:
    // Opens at screenPos (top-left) with the picker's colour and custom colours; deletes itself when it
    // ends.
    ColourPopup(CXColourPicker* picker, QPoint screenPos, ColorRef colour, const CustomColours& custom);

    int HoverRow() const { return hoverRow_; }
    int HoverColumn() const { return hoverColumn_; }
    ColorRef PendingColour() const { return pending_; }
    int CellSize() const { return cell_; }
    // The centre of a cell in popup coordinates (the "Custom..." button for its row).
    QPoint CellCentre(int row, int column) const;
    CustomColours Customs() const { return custom_; }

  signals:
    // Hovering a cell: its colour (the opening colour for "Custom...").
    void selChange(ColorRef colour);
    // The popup ended; the last chosen cell as row and column (-1 for none).
    void selEndOk(ColorRef colour, int row, int column);
    void selEndCancel(ColorRef colour, int row, int column);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void CellAt(QPoint pos, int& row, int& column) const;
    QRect CellRect(int row, int column) const;
    ColorRef CellColour(int row, int column) const;
    void ChangeHover(int row, int column);
    void End(bool ok);
    void ChooseCustom();

    CXColourPicker* picker_;
    std::array<ColourTableEntry, kPopupRows * kPopupColumns> table_;
    CustomColours custom_;
    ColorRef opening_;
    ColorRef pending_;
    int hoverRow_ = -1, hoverColumn_ = -1;
    int lastRow_ = -1, lastColumn_ = -1;
    int cell_ = 18;
    int margin_ = 2;
    QRect customRect_, separatorRect_;
    bool ended_ = false;
    bool choosing_ = false;
};

class CXColourPicker : public QPushButton {
    Q_OBJECT
  public:
    explicit CXColourPicker(QWidget* parent = nullptr, int controlId = 0);

    void SetColour(ColorRef colour);
    ColorRef GetColour() const { return colour_; }
    void SetDefaultColour(ColorRef colour) { defaultColour_ = colour; }
    void SetTrackSelection(bool on) { trackSelection_ = on; }
    int ControlId() const { return controlId_; }
    int LastRow() const { return lastRow_; }
    int LastColumn() const { return lastColumn_; }
    const CustomColours& Customs() const { return custom_; }
    void SetCustoms(const CustomColours& custom) { custom_ = custom; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

  signals:
    // Each carries the colour and this picker's control identifier.
    void selChange(ColorRef colour, int controlId);
    void dropDown(ColorRef colour, int controlId);
    void closeUp(ColorRef colour, int controlId);
    void selEndOk(ColorRef colour, int controlId);
    void selEndCancel(ColorRef colour, int controlId);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void OpenPopup();
    void PopupSelChange(ColorRef colour);
    void PopupSelEndOk(ColorRef colour, int row, int column);
    void PopupSelEndCancel(ColorRef colour, int row, int column);

    ColorRef colour_ = Rgb(255, 255, 255);
    ColorRef shown_ = Rgb(255, 255, 255);  // differs from colour_ while a tracked popup previews
    ColorRef defaultColour_;
    bool trackSelection_ = false;
    int lastRow_ = -1, lastColumn_ = -1;
    int controlId_;
    CustomColours custom_;

    friend class ColourPopup;
};

}  // namespace glimmora
