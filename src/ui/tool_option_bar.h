// The docked "Param Setting" bar: one small panel of options per editing tool.
#pragma once

#include <QDockWidget>
#include <QPointer>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "editor/tool_panel.h"
#include "image/image.h"
#include "ui/stamp_list.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QSlider;
class QSpinBox;

namespace glimmora {

class CXColourPicker;

// The number of the private message the panelChanged signal stands for (bar to active view).
inline constexpr int kWmToolPanelChanged = 0x559;

// The controls of one tool's panel; those the tool does not use stay null.
class ToolOptionPanel : public QWidget {
    Q_OBJECT
  public:
    ToolOptionPanel(int kind, QWidget* parent);
    int Kind() const { return kind_; }

    QComboBox* width = nullptr;           // 1035 (line) or 1076 (shape)
    QSpinBox* widthSpin = nullptr;        // 1066 with its edit 1067
    QComboBox* lineStyle = nullptr;       // 1049
    QComboBox* boxStyle = nullptr;        // 1057
    QComboBox* arrowStyle = nullptr;      // 1075
    QComboBox* shape = nullptr;           // 1069
    CXColourPicker* colour = nullptr;     // 1071, 1072 or 1070
    CXColourPicker* textBack = nullptr;   // 1059
    CXColourPicker* border = nullptr;     // 1068
    CXColourPicker* shapeBack = nullptr;  // 1060
    QSlider* opacity = nullptr;           // 1056
    QCheckBox* shadow = nullptr;          // 1058
    QListWidget* stamps = nullptr;        // 1074
    QComboBox* redactMethod = nullptr;
    QSpinBox* redactBlock = nullptr;
    QSpinBox* redactRadius = nullptr;
    QComboBox* counterShape = nullptr;
    QSpinBox* counterStart = nullptr;
    QCheckBox* renumber = nullptr;

  private:
    int kind_;
};

class ToolOptionBar : public QDockWidget, public ToolPanel {
    Q_OBJECT
  public:
    // stampFolder: where the stamp pictures are; empty means "stamps" beside the program.
    explicit ToolOptionBar(QWidget* parent = nullptr, const QString& stampFolder = {});
    ~ToolOptionBar() override;

    void SetStampFolder(const QString& folder) { stampFolder_ = folder; }
    QString StampFolder() const { return stampFolder_; }

    // -1 before the first SetKind.
    int Kind() const { return kind_; }
    ToolOptionPanel* Panel() const { return panel_; }
    const std::vector<std::string>& StampPaths() const { return values_.stampPaths; }
    const StampCatalogue& Stamps() const { return stamps_; }

    void SetKind(int toolNumber) override;
    int Width() const override { return values_.width; }
    void SetWidth(int width) override;
    int LineStyle() const override { return values_.lineStyle; }
    void SetLineStyle(int style) override;
    int BoxStyle() const override { return values_.boxStyle; }
    void SetBoxStyle(int style) override;
    int ArrowStyle() const override { return values_.arrowStyle; }
    void SetArrowStyle(int style) override;
    int Shape() const override { return values_.shape; }
    void SetShape(int shape) override;
    ColorRef Colour() const override { return values_.colour; }
    void SetColour(ColorRef colour) override;
    ColorRef TextBackColour() const override { return values_.textBack; }
    void SetTextBackColour(ColorRef colour) override;
    ColorRef BorderColour() const override { return values_.border; }
    void SetBorderColour(ColorRef colour) override;
    ColorRef ShapeBackColour() const override { return values_.shapeBack; }
    void SetShapeBackColour(ColorRef colour) override;
    int Opacity() const override { return values_.opacity; }
    void SetOpacity(int value) override;
    int Shadow() const override { return values_.shadow; }
    void SetShadow(int on) override;
    int StampNumber() const override { return values_.stamp; }
    void SetStampNumber(int number) override;
    int RedactMethod() const override { return values_.redactMethod; }
    void SetRedactMethod(int method) override;
    int RedactBlock() const override { return values_.redactBlock; }
    void SetRedactBlock(int size) override;
    int RedactRadius() const override { return values_.redactRadius; }
    void SetRedactRadius(int radius) override;
    ColorRef RedactColour() const override { return values_.redactColour; }
    void SetRedactColour(ColorRef colour) override;
    int CounterShape() const override { return values_.counterShape; }
    void SetCounterShape(int shape) override;
    int CounterStart() const override { return values_.counterStart; }
    void SetCounterStart(int number) override;
    bool Renumber() const override { return values_.renumber != 0; }
    void SetRenumber(bool on) override;
    int DragSerial() const override { return dragSerial_; }

    // Each tool's values as one line of config.ini ("width=2 colour=0000FF ..."), empty for a tool never
    // chosen; and back, each value within its control's range, a bad one left at the tool's default.
    std::string StyleText(int toolNumber) const;
    void SetStyleText(int toolNumber, const std::string& text);
    // The key of a tool's line in [ToolStyles]; null for tools without values.
    static const char* StyleKey(int toolNumber);
    const Image* StampImage() const override;

  signals:
    // A value changed through the panel: the active view applies the panel to its selected object.
    void panelChanged();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // The values of the panel shown; a new panel starts from these and then takes its kind's defaults.
    struct Values {
        int width = 1;
        int lineStyle = 0;
        int boxStyle = 0;
        int arrowStyle = 0;
        int shape = 0;
        ColorRef colour = 0xFFFFFF;
        ColorRef textBack = 0xFFFFFF;
        ColorRef border = 0xFFFFFF;
        ColorRef shapeBack = 0xFFFFFF;
        int opacity = 0;
        int shadow = 0;
        int stamp = 0;
        std::vector<std::string> stampPaths;
        int redactMethod = 2;  // solid: nothing of the pixels beneath shows
        int redactBlock = 16;
        int redactRadius = 16;
        ColorRef redactColour = 0;
        int counterShape = 0;
        int counterStart = 1;
        int renumber = 1;
    };

    void ApplyDefaults(int kind);
    void ShowValues();
    void FillStamps();
    void Connect();

    QWidget* host_;
    QPointer<ToolOptionPanel> panel_;
    int kind_ = -1;
    Values values_;
    // What each tool was last set to in this run: a tool chosen again comes back as it was left.
    std::map<int, Values> kept_;
    int dragSerial_ = 0;
    int drags_ = 0;
    QString stampFolder_;
    StampCatalogue stamps_;
    mutable std::unique_ptr<Image> stampImage_;
    mutable std::string stampImagePath_;
};

}  // namespace glimmora
