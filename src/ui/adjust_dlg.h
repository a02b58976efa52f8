// The adjustment dialogs of the Image and Filter menus: sliders, a thumbnail that follows them and a
// "Preview" of the whole picture, which Cancel takes back.
#pragma once

#include <QDialog>
#include <QImage>
#include <array>
#include <memory>
#include <vector>

#include "image/image.h"
#include "ui/live_preview.h"

class QCheckBox;
class QLabel;
class QRadioButton;
class QSlider;

namespace glimmora {

class CTavrikDoc;

struct AdjustSlider {
    const char* label;
    int minimum, maximum, start;
};

// One dialog template: title and sliders (1014, 1015, 1016 in turn).
struct AdjustTemplate {
    int id;
    const char* title;
    int sliderCount;
    AdjustSlider sliders[3];
};
// Null for an unknown template.
const AdjustTemplate* FindAdjustTemplate(int templateId);

// What a template's processor is built from.
struct AdjustValues {
    int value1 = 0, value2 = 0, value3 = 0;
    int channel = 0;                               // template 172: 0 all, 1 red, 2 green, 3 blue
    std::array<uint8_t, 4> tone{33, 168, 254, 0};  // template 200: blue, green, red, unused
};
// The template's processor; the size-dependent ones (oil paint, splash, mosaic) scaled by zoom, which
// only the thumbnail passes (the picture itself takes 1). Null for a template without one.
std::unique_ptr<PixelProcessor> MakeAdjustProcessor(int templateId, const AdjustValues& values, double zoom);

// The thumbnail's frame (static 1011): it only marks where the dialog draws.
class PreviewFrame;

// What both dialogs share: the shrunken working copy, the backup of the picture and the live preview.
class PreviewDialogBase : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kFrameWidth = 200;
    static constexpr int kFrameHeight = 150;

    ~PreviewDialogBase() override;

    double Zoom() const { return zoom_; }
    const Image& WorkingCopy() const { return working_; }
    const Image& PreviewImage() const { return preview_; }
    QCheckBox* PreviewBox() const { return previewBox_; }
    QWidget* FrameWidget() const;
    // The sliders in order; the label beside each names it.
    const std::vector<QSlider*>& Sliders() const { return sliders_; }
    // A whole-picture preview is being computed or waits to be shown.
    bool PreviewPending() const;
    // The slider handling: a fresh thumbnail, and the whole picture when "Preview" is ticked.
    void Recompute();

    void accept() override;
    void reject() override;

  protected:
    PreviewDialogBase(CTavrikDoc* doc, QWidget* parent);
    // Takes the backup and the working copy (converted to 24 bits when asked) and shrinks it to the frame.
    void TakePicture(bool working24);
    // The dialog's controls around the frame: sliders, then extra (may be null), then "Preview" and the
    // buttons.
    void BuildLayout(const QString& title, const std::vector<AdjustSlider>& sliders, QWidget* extra);
    // zoom: the scale of the picture they run on, the thumbnail's or 1 for the whole picture.
    virtual std::vector<std::unique_ptr<PixelProcessor>> BuildProcessors(double zoom) const = 0;
    // Whether the whole picture must be at 32 bits for the processors.
    virtual bool WholeNeeds32() const { return false; }
    // OK after the picture is back as it was: applies the effect through the undo-recording run.
    virtual void ApplyToDocument() = 0;
    virtual void PaintFrame(QPainter& painter, QRect frame);
    void ReadSliders();
    void ShowValues();
    void RestoreBackup();

    CTavrikDoc* doc_;
    Image working_, preview_;
    std::shared_ptr<const Image> backup_;
    double zoom_ = 1;
    int values_[3] = {0, 0, 0};
    std::vector<QSlider*> sliders_;
    std::vector<QLabel*> valueLabels_;
    QCheckBox* previewBox_ = nullptr;
    PreviewFrame* frame_ = nullptr;
    std::unique_ptr<LivePreview> live_;
    bool wholeChanged_ = false;  // the document shows a preview, not the backup
    bool closing_ = false;

    friend class PreviewFrame;
};

class ToneBar;

class AdjustDlg : public PreviewDialogBase {
    Q_OBJECT

  public:
    AdjustDlg(CTavrikDoc* doc, int templateId, QWidget* parent = nullptr);

    int TemplateId() const { return templateId_; }
    AdjustValues Values() const;
    // Template 172's "RGB", "R", "G", "B".
    const std::vector<QRadioButton*>& ChannelButtons() const { return channels_; }
    // Template 200's colour bar, and the tone colour as blue, green, red, unused.
    ToneBar* ColourBar() const { return toneBar_; }
    std::array<uint8_t, 4> ToneColour() const { return tone_; }
    // A point of the colour bar (its own coordinates) picked as the tone colour; false outside it.
    bool PickTone(QPoint barPoint);

  protected:
    std::vector<std::unique_ptr<PixelProcessor>> BuildProcessors(double zoom) const override;
    bool WholeNeeds32() const override;
    void ApplyToDocument() override;
    void PaintFrame(QPainter& painter, QRect frame) override;

  private:
    int templateId_;
    int channel_ = 0;
    std::array<uint8_t, 4> tone_{33, 168, 254, 0};
    std::vector<QRadioButton*> channels_;
    ToneBar* toneBar_ = nullptr;
};

class CBrightConDlg : public PreviewDialogBase {
    Q_OBJECT

  public:
    explicit CBrightConDlg(CTavrikDoc* doc, QWidget* parent = nullptr);

  protected:
    std::vector<std::unique_ptr<PixelProcessor>> BuildProcessors(double zoom) const override;
    void ApplyToDocument() override;
};

// Template 200's colour bar: a spectrum of our own; dragging over it picks the colour under the pointer.
class ToneBar : public QWidget {
    Q_OBJECT

  public:
    explicit ToneBar(AdjustDlg* dialog);
    QColor ColourAt(QPoint p) const;
    QSize sizeHint() const override { return bar_.size(); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    AdjustDlg* dialog_;
    QImage bar_;
};

}  // namespace glimmora
