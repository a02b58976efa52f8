// The Image and Filter menus' commands (ids 20000 to 20100) on a document.
#pragma once

class QWidget;

namespace glimmora {

class CTavrikDoc;

namespace image_cmd {
inline constexpr int kFirst = 20000;
inline constexpr int kLast = 20100;
inline constexpr int kRotate = 20002;
inline constexpr int kRotate90 = 20004;
inline constexpr int kFlipHorizontal = 20005;
inline constexpr int kFlipVertical = 20006;
inline constexpr int kRotate270 = 20007;
inline constexpr int kResize = 20009;
inline constexpr int kBrightnessContrast = 20010;
inline constexpr int kHueSaturation = 20012;
inline constexpr int kColourTone = 20014;
inline constexpr int kRgbValue = 20016;
inline constexpr int kColourLevel = 20017;
inline constexpr int kGrey = 20019;
inline constexpr int kInvert = 20020;
inline constexpr int kNoisy = 20033;
inline constexpr int kBlot = 20034;
inline constexpr int kEmboss = 20035;
inline constexpr int kOilPaint = 20036;
inline constexpr int kSplash = 20037;
inline constexpr int kPosterize = 20038;
inline constexpr int kMosaic = 20040;
inline constexpr int kHalftone = 20041;
inline constexpr int kBlur = 20042;
inline constexpr int kGrid = 20050;
inline constexpr int kAutoLevel = 20051;
}  // namespace image_cmd

// Adjustment dialog templates.
namespace adjust_template {
inline constexpr int kBrightnessContrast = 171;
inline constexpr int kColourLevel = 172;
inline constexpr int kRgbValue = 173;
inline constexpr int kHueSaturation = 174;
inline constexpr int kNoisy = 190;
inline constexpr int kBlot = 191;
inline constexpr int kEmboss = 192;
inline constexpr int kOilPaint = 193;
inline constexpr int kSplash = 194;
inline constexpr int kPosterize = 195;
inline constexpr int kMosaic = 196;
inline constexpr int kGrid = 197;
inline constexpr int kColourTone = 200;
inline constexpr int kRotate = 201;
}  // namespace adjust_template

// The dialogs the commands open. They live in the ui layer; the main frame hands one to each view.
class ImageDialogs {
  public:
    virtual ~ImageDialogs() = default;
    // The adjustment dialog of the template on the document; on OK it has applied its effect through
    // the document's undo-recording run. True on OK.
    virtual bool RunAdjustDialog(CTavrikDoc& doc, int templateId, QWidget* parent) = 0;
    // The resize dialog starting at the picture's size; on OK width, height and quality (0 Good,
    // 1 Better) hold the answer.
    virtual bool RunResizeDialog(int& width, int& height, int& quality, QWidget* parent) = 0;
};

// The dialog template a command opens (171 for brightness/contrast), 0 for none.
int AdjustTemplateFor(int id);

// Runs one command of the range. A command whose dialog is cancelled (or that has no dialogs to open)
// leaves the document untouched. Every other command but Resize, Brightness/Contrast and Hue/Saturation
// leaves the picture at 24 bits.
void RunImageCommand(CTavrikDoc& doc, int id, ImageDialogs* dialogs, QWidget* parent);

inline bool IsImageCommand(int id) {
    return id >= image_cmd::kFirst && id <= image_cmd::kLast;
}

}  // namespace glimmora
