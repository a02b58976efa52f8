#include "ui/adjust_dlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

#include "editor/image_commands.h"
#include "editor/tavrik_doc.h"
#include "image/processors/colour.h"
#include "image/processors/filters.h"
#include "image/processors/geometry.h"
#include "ui/stamp_list.h"

namespace glimmora {

namespace {

// The titles of 190 and 191 follow the menu entries that open them.
constexpr AdjustTemplate kTemplates[] = {
    {adjust_template::kColourLevel, "Color level", 2, {{"Down", 0, 255, 0}, {"Up", 0, 255, 255}, {}}},
    {adjust_template::kRgbValue,
     "RGB Value",
     3,
     {{"R", -128, 128, 0}, {"G", -128, 128, 0}, {"B", -128, 128, 0}}},
    {adjust_template::kHueSaturation,
     "Hue/Saturation",
     2,
     {{"Hue", 0, 200, 100}, {"Saturation", 0, 200, 100}, {}}},
    {adjust_template::kNoisy, "Noisy", 1, {{"Level", 1, 200, 100}, {}, {}}},
    {adjust_template::kBlot, "Blot", 1, {{"Level", 1, 100, 50}, {}, {}}},
    {adjust_template::kEmboss, "Emboss", 1, {{"Depth", 1, 10, 2}, {}, {}}},
    {adjust_template::kOilPaint, "Oil Paint", 1, {{"Radius", 1, 15, 2}, {}, {}}},
    {adjust_template::kSplash, "Splash", 1, {{"Spread", 3, 64, 5}, {}, {}}},
    {adjust_template::kPosterize, "Posterize", 1, {{"Levels", 2, 20, 3}, {}, {}}},
    {adjust_template::kMosaic, "Mosaic", 1, {{"Block size", 2, 200, 10}, {}, {}}},
    {adjust_template::kGrid, "3D Grid", 2, {{"Cell size", 0, 100, 64}, {"Depth", 0, 100, 50}, {}}},
    {adjust_template::kColourTone, "Color Tone", 0, {{}, {}, {}}},
    {adjust_template::kRotate, "Rotate", 1, {{"Angle", 0, 360, 45}, {}, {}}},
};

constexpr QRgb kFrameFill = qRgb(191, 203, 251);
constexpr QRgb kFrameOutline = qRgb(192, 192, 192);

void Name(QWidget* w, const QString& text) {
    w->setAccessibleName(text);
}

}  // namespace

const AdjustTemplate* FindAdjustTemplate(int templateId) {
    for (const AdjustTemplate& t : kTemplates)
        if (t.id == templateId) return &t;
    return nullptr;
}

std::unique_ptr<PixelProcessor> MakeAdjustProcessor(int templateId, const AdjustValues& v, double zoom) {
    using namespace adjust_template;
    // The thumbnail is the picture scaled down, so sizes in pixels shrink with it.
    const auto scaled = [zoom](int value) { return static_cast<int>(std::trunc(value * zoom)); };
    switch (templateId) {
        case kColourLevel: {
            static constexpr int kMasks[4] = {kMaskAll, kMaskRed, kMaskGreen, kMaskBlue};
            return std::make_unique<LevelsProcessor>(false, v.value1, v.value2, kMasks[v.channel & 3]);
        }
        case kRgbValue:
            return std::make_unique<RgbOffsetProcessor>(v.value1, v.value2, v.value3);
        case kHueSaturation:
            return std::make_unique<HueSaturationProcessor>(v.value1, v.value2);
        case kNoisy:
            return std::make_unique<UniformNoiseProcessor>(v.value1);
        case kBlot:
            return std::make_unique<GaussianNoiseProcessor>(v.value1);
        case kEmboss:
            return std::make_unique<EmbossProcessor>(v.value1);
        case kOilPaint:
            return std::make_unique<OilPaintProcessor>(scaled(v.value1));
        case kSplash:
            return std::make_unique<SplashProcessor>(scaled(v.value1));
        case kPosterize:
            return std::make_unique<PosterizeProcessor>(v.value1);
        case kMosaic:
            return std::make_unique<MosaicProcessor>(scaled(v.value1));
        case kGrid:
            return std::make_unique<GridProcessor>(v.value1, v.value2);
        case kColourTone:
            return std::make_unique<ColourToneProcessor>(v.tone[2], v.tone[1], v.tone[0]);
        case kRotate:
            return std::make_unique<RotateProcessor>(v.value1);
        default:
            return nullptr;
    }
}

class PreviewFrame : public QWidget {
  public:
    explicit PreviewFrame(PreviewDialogBase* dialog) : QWidget(dialog), dialog_(dialog) {
        // One pixel of outline around the frame itself.
        setFixedSize(PreviewDialogBase::kFrameWidth + 2, PreviewDialogBase::kFrameHeight + 2);
        Name(this, QStringLiteral("Thumbnail"));
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        dialog_->PaintFrame(painter,
                            QRect(1, 1, PreviewDialogBase::kFrameWidth, PreviewDialogBase::kFrameHeight));
    }

  private:
    PreviewDialogBase* dialog_;
};

PreviewDialogBase::PreviewDialogBase(CTavrikDoc* doc, QWidget* parent) : QDialog(parent), doc_(doc) {}

PreviewDialogBase::~PreviewDialogBase() = default;

QWidget* PreviewDialogBase::FrameWidget() const {
    return frame_;
}

void PreviewDialogBase::TakePicture(bool working24) {
    backup_ = std::make_shared<const Image>(doc_->image);
    working_ = doc_->image;
    if (working24 && working_.IsValid() && working_.Depth() != 24) (void)working_.ConvertDepth(24);
    const int iw = working_.Width(), ih = working_.Height();
    zoom_ = 1;
    if (working_.IsValid() && (kFrameWidth < iw || kFrameHeight < ih)) {
        zoom_ = std::min(static_cast<double>(kFrameWidth) / iw, static_cast<double>(kFrameHeight) / ih);
        // A size that comes out 0 leaves the copy full size.
        ResizeBilinear(working_, static_cast<int>(iw * zoom_), static_cast<int>(ih * zoom_), nullptr);
    }
    preview_ = working_;
    live_ = std::make_unique<LivePreview>(backup_, [this](Image&& result) {
        if (closing_ || !previewBox_->isChecked()) return;
        doc_->image = std::move(result);
        wholeChanged_ = true;
        doc_->UpdateAllViews();
    });
}

void PreviewDialogBase::BuildLayout(const QString& title, const std::vector<AdjustSlider>& sliders,
                                    QWidget* extra) {
    setWindowTitle(title);
    auto* top = new QHBoxLayout(this);
    frame_ = new PreviewFrame(this);
    top->addWidget(frame_, 0, Qt::AlignTop);
    auto* right = new QVBoxLayout;
    top->addLayout(right, 1);
    auto* grid = new QGridLayout;
    right->addLayout(grid);
    for (size_t i = 0; i < sliders.size(); ++i) {
        const AdjustSlider& s = sliders[i];
        auto* label = new QLabel(QString::fromLatin1(s.label), this);
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setRange(s.minimum, s.maximum);
        slider->setValue(s.start);
        slider->setMinimumWidth(180);
        label->setBuddy(slider);
        Name(slider, label->text());
        auto* value = new QLabel(QString::number(s.start), this);
        // Room for the widest number of the range.
        const int wide = std::max(value->fontMetrics().horizontalAdvance(QString::number(s.minimum)),
                                  value->fontMetrics().horizontalAdvance(QString::number(s.maximum)));
        value->setMinimumWidth(wide + 4);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        Name(value, label->text() + QStringLiteral(" value"));
        grid->addWidget(label, static_cast<int>(i), 0);
        grid->addWidget(slider, static_cast<int>(i), 1);
        grid->addWidget(value, static_cast<int>(i), 2);
        connect(slider, &QSlider::valueChanged, this, [this] { Recompute(); });
        sliders_.push_back(slider);
        valueLabels_.push_back(value);
    }
    if (extra) right->addWidget(extra);
    right->addStretch(1);
    previewBox_ = new QCheckBox(QStringLiteral("Preview"), this);
    Name(previewBox_, previewBox_->text());
    right->addWidget(previewBox_);
    // Ticking shows the effect on the picture at once; clearing gives the picture back.
    connect(previewBox_, &QCheckBox::toggled, this, [this](bool on) {
        if (on) {
            Recompute();
        } else {
            live_->Stop();
            RestoreBackup();
        }
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    for (QAbstractButton* b : buttons->buttons()) Name(b, b->text().remove('&'));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    right->addWidget(buttons);
    ReadSliders();
}

void PreviewDialogBase::ReadSliders() {
    for (size_t i = 0; i < sliders_.size() && i < 3; ++i) values_[i] = sliders_[i]->value();
}

void PreviewDialogBase::ShowValues() {
    for (size_t i = 0; i < valueLabels_.size() && i < 3; ++i)
        valueLabels_[i]->setText(QString::number(values_[i]));
}

bool PreviewDialogBase::PreviewPending() const {
    return live_ && live_->Busy();
}

void PreviewDialogBase::Recompute() {
    ReadSliders();
    std::vector<std::unique_ptr<PixelProcessor>> processors = BuildProcessors(zoom_);
    if (processors.empty()) return;
    preview_ = working_;
    if (preview_.IsValid() && preview_.Depth() != 32) (void)preview_.ConvertDepth(32);
    for (auto& p : processors) RunProcessor(preview_, *p, nullptr);
    if (preview_.IsValid() && preview_.Depth() != 24) (void)preview_.ConvertDepth(24);
    // The whole picture runs off this thread with processors of its own; its result arrives later.
    if (previewBox_ && previewBox_->isChecked()) live_->Request(BuildProcessors(1), WholeNeeds32());
    ShowValues();
    if (frame_) frame_->update();
}

void PreviewDialogBase::RestoreBackup() {
    if (!wholeChanged_) return;
    doc_->image = *backup_;
    wholeChanged_ = false;
    doc_->UpdateAllViews();
}

void PreviewDialogBase::accept() {
    if (closing_) return;
    closing_ = true;
    live_->Stop();
    // The effect goes on the picture as it was, once, as an undo step.
    if (wholeChanged_) {
        doc_->image = *backup_;
        wholeChanged_ = false;
    }
    ReadSliders();
    ApplyToDocument();
    doc_->UpdateAllViews();
    QDialog::accept();
}

void PreviewDialogBase::reject() {
    if (closing_) return;
    closing_ = true;
    live_->Stop();
    RestoreBackup();
    QDialog::reject();
}

void PreviewDialogBase::PaintFrame(QPainter& painter, QRect frame) {
    painter.fillRect(frame, QColor(kFrameFill));
    const QImage shown = ToQImage(preview_);
    if (shown.isNull()) return;
    painter.drawImage(frame.left() + (frame.width() - shown.width()) / 2,
                      frame.top() + (frame.height() - shown.height()) / 2, shown);
}

// AdjustDlg.

AdjustDlg::AdjustDlg(CTavrikDoc* doc, int templateId, QWidget* parent)
    : PreviewDialogBase(doc, parent), templateId_(templateId) {
    TakePicture(true);
    const AdjustTemplate* t = FindAdjustTemplate(templateId);
    std::vector<AdjustSlider> sliders;
    if (t) sliders.assign(t->sliders, t->sliders + t->sliderCount);
    QWidget* extra = nullptr;
    if (templateId == adjust_template::kColourLevel) {
        extra = new QWidget(this);
        auto* row = new QHBoxLayout(extra);
        row->setContentsMargins(0, 0, 0, 0);
        auto* group = new QButtonGroup(extra);
        const char* names[4] = {"RGB", "R", "G", "B"};
        for (int i = 0; i < 4; ++i) {
            auto* button = new QRadioButton(QString::fromLatin1(names[i]), extra);
            Name(button, button->text());
            group->addButton(button, i);
            row->addWidget(button);
            channels_.push_back(button);
        }
        channels_[0]->setChecked(true);
        connect(group, &QButtonGroup::idClicked, this, [this](int id) {
            channel_ = id;
            Recompute();
        });
    } else if (templateId == adjust_template::kColourTone) {
        toneBar_ = new ToneBar(this);
        extra = toneBar_;
    }
    BuildLayout(t ? QString::fromLatin1(t->title) : QString(), sliders, extra);
    // The first thumbnail comes exactly as from a slider move.
    Recompute();
}

AdjustValues AdjustDlg::Values() const {
    AdjustValues v;
    v.value1 = values_[0];
    v.value2 = values_[1];
    v.value3 = values_[2];
    v.channel = channel_;
    v.tone = tone_;
    return v;
}

std::vector<std::unique_ptr<PixelProcessor>> AdjustDlg::BuildProcessors(double zoom) const {
    std::vector<std::unique_ptr<PixelProcessor>> list;
    if (auto p = MakeAdjustProcessor(templateId_, Values(), zoom)) list.push_back(std::move(p));
    return list;
}

bool AdjustDlg::WholeNeeds32() const {
    return templateId_ == adjust_template::kMosaic;
}

void AdjustDlg::ApplyToDocument() {
    // The slider's value as the user sees it: only the thumbnail is scaled down.
    std::unique_ptr<PixelProcessor> processor = MakeAdjustProcessor(templateId_, Values(), 1);
    if (!processor) return;
    // Mosaic needs 32 bits; the picture leaves at 24 like every image command.
    if (doc_->image.IsValid() && doc_->image.Depth() != 32) (void)doc_->image.ConvertDepth(32);
    doc_->ApplyProcessor(processor.get());
    if (doc_->image.IsValid() && doc_->image.Depth() != 24) (void)doc_->image.ConvertDepth(24);
}

void AdjustDlg::PaintFrame(QPainter& painter, QRect frame) {
    if (templateId_ != adjust_template::kRotate) {
        PreviewDialogBase::PaintFrame(painter, frame);
    } else {
        // The turned thumbnail is larger than the frame: fitted, centred.
        painter.fillRect(frame, QColor(kFrameFill));
        const QImage shown = ToQImage(preview_);
        if (!shown.isNull()) {
            const int pw = shown.width(), ph = shown.height();
            double z = 1;
            if (frame.width() < pw || frame.height() < ph)
                z = std::min(static_cast<double>(frame.width()) / pw,
                             static_cast<double>(frame.height()) / ph);
            const int ex = (frame.width() - static_cast<int>(pw * z)) / 2;
            const int ey = (frame.height() - static_cast<int>(ph * z)) / 2;
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(frame.adjusted(ex, ey, -ex, -ey), shown);
        }
    }
    painter.setPen(QColor(kFrameOutline));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(frame.adjusted(-1, -1, 0, 0));
}

bool AdjustDlg::PickTone(QPoint barPoint) {
    if (!toneBar_ || !toneBar_->rect().contains(barPoint)) return false;
    const QColor c = toneBar_->ColourAt(barPoint);
    tone_ = {static_cast<uint8_t>(c.blue()), static_cast<uint8_t>(c.green()), static_cast<uint8_t>(c.red()),
             0};
    Recompute();
    return true;
}

// CBrightConDlg.

CBrightConDlg::CBrightConDlg(CTavrikDoc* doc, QWidget* parent) : PreviewDialogBase(doc, parent) {
    TakePicture(false);
    BuildLayout(QStringLiteral("Brightness/Contrast"),
                {{"Brightness", 0, 200, 100}, {"Contrast", 0, 200, 100}}, nullptr);
    // The thumbnail starts as the unchanged picture.
}

std::vector<std::unique_ptr<PixelProcessor>> CBrightConDlg::BuildProcessors(double) const {
    std::vector<std::unique_ptr<PixelProcessor>> list;
    list.push_back(std::make_unique<BrightnessProcessor>(values_[0]));
    list.push_back(std::make_unique<ContrastProcessor>(values_[1]));
    return list;
}

void CBrightConDlg::ApplyToDocument() {
    // Two steps, at the picture's own depth.
    BrightnessProcessor brightness(values_[0]);
    ContrastProcessor contrast(values_[1]);
    doc_->ApplyProcessor(&brightness);
    doc_->ApplyProcessor(&contrast);
}

// ToneBar.

ToneBar::ToneBar(AdjustDlg* dialog) : QWidget(dialog), dialog_(dialog), bar_(240, 32, QImage::Format_RGB32) {
    // Hue across, from light at the top to dark at the bottom.
    for (int y = 0; y < bar_.height(); ++y) {
        const double lightness = 0.8 - 0.6 * y / (bar_.height() - 1);
        for (int x = 0; x < bar_.width(); ++x)
            bar_.setPixelColor(
                x, y,
                QColor::fromHslF(static_cast<float>(x) / bar_.width(), 1.0f, static_cast<float>(lightness)));
    }
    setFixedSize(bar_.size());
    setCursor(Qt::CrossCursor);
    Name(this, QStringLiteral("Color bar"));
}

QColor ToneBar::ColourAt(QPoint p) const {
    return bar_.pixelColor(p);
}

void ToneBar::paintEvent(QPaintEvent*) {
    QPainter(this).drawImage(0, 0, bar_);
}

void ToneBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dialog_->PickTone(event->position().toPoint());
}

void ToneBar::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton) dialog_->PickTone(event->position().toPoint());
}

}  // namespace glimmora
