#include "editor/image_commands.h"

#include <memory>

#include "editor/tavrik_doc.h"
#include "editor/undo_history.h"
#include "image/processors/colour.h"
#include "image/processors/filters.h"
#include "image/processors/geometry.h"

namespace glimmora {

int AdjustTemplateFor(int id) {
    using namespace image_cmd;
    switch (id) {
        case kRotate:
            return adjust_template::kRotate;
        case kBrightnessContrast:
            return adjust_template::kBrightnessContrast;
        case kHueSaturation:
            return adjust_template::kHueSaturation;
        case kColourTone:
            return adjust_template::kColourTone;
        case kRgbValue:
            return adjust_template::kRgbValue;
        case kColourLevel:
            return adjust_template::kColourLevel;
        case kNoisy:
            return adjust_template::kNoisy;
        case kBlot:
            return adjust_template::kBlot;
        case kEmboss:
            return adjust_template::kEmboss;
        case kOilPaint:
            return adjust_template::kOilPaint;
        case kSplash:
            return adjust_template::kSplash;
        case kPosterize:
            return adjust_template::kPosterize;
        case kMosaic:
            return adjust_template::kMosaic;
        case kGrid:
            return adjust_template::kGrid;
        default:
            return 0;
    }
}

namespace {

std::unique_ptr<PixelProcessor> MakeCommandProcessor(int id) {
    using namespace image_cmd;
    switch (id) {
        case kRotate90:
            return std::make_unique<Rotate90Processor>();
        case kFlipHorizontal:
            return std::make_unique<FlipHorizontalProcessor>();
        case kFlipVertical:
            return std::make_unique<FlipVerticalProcessor>();
        case kRotate270:
            return std::make_unique<Rotate270Processor>();
        case kGrey:
            return std::make_unique<GreyProcessor>();
        case kInvert:
            return std::make_unique<InvertProcessor>(kMaskAll);
        case kHalftone:
            return std::make_unique<HalftoneProcessor>();
        case kBlur:
            return MakeBlurProcessor();
        case kAutoLevel:
            return std::make_unique<LevelsProcessor>(true, 0, 255, kMaskAll);
        default:
            return nullptr;
    }
}

// Commands that move the picture's pixels while objects keep their coordinates.
bool MovesPixels(int id) {
    using namespace image_cmd;
    return id == kRotate || id == kRotate90 || id == kRotate270 || id == kFlipHorizontal ||
           id == kFlipVertical || id == kResize;
}

// A redaction left as an object would cover other pixels after such a command and uncover what it
// hid, so the objects are burnt in first, as the crop does (one undo step brings them back). False
// when they could not be: the command must not run then.
bool BurnInRedactions(CTavrikDoc& doc) {
    for (const auto& object : doc.objects)
        if (object && object->kind == kRedactObject) return doc.BurnInObjects();
    return true;
}

}  // namespace

void RunImageCommand(CTavrikDoc& doc, int id, ImageDialogs* dialogs, QWidget* parent) {
    using namespace image_cmd;
    if (!IsImageCommand(id)) return;
    const int templateId = AdjustTemplateFor(id);
    // These three leave the picture as their dialog left it.
    if (id == kBrightnessContrast || id == kHueSaturation) {
        if (dialogs) dialogs->RunAdjustDialog(doc, templateId, parent);
        return;
    }
    if (id == kResize) {
        if (!dialogs || !doc.image.IsValid()) return;
        int width = doc.image.Width(), height = doc.image.Height(), quality = 1;
        if (!dialogs->RunResizeDialog(width, height, quality, parent)) return;
        // A size the picture already has, or none at all, is nothing to do and no step.
        if (width <= 0 || height <= 0 || (width == doc.image.Width() && height == doc.image.Height())) return;
        if (!BurnInRedactions(doc)) return;
        doc.ApplyStep(std::make_unique<ResizeUndoStep>(width, height, quality));
        return;
    }
    const uint64_t before = doc.undo.Changes();
    if (MovesPixels(id) && !BurnInRedactions(doc)) return;
    const bool burnt = doc.undo.Changes() != before;
    // A dialog closed with Cancel leaves the document exactly as it was, alpha included.
    if (templateId && (!dialogs || !dialogs->RunAdjustDialog(doc, templateId, parent))) {
        if (burnt) doc.OnEditUndo();
        return;
    }

    // The common tail: the processors run at 32 bits, and the picture ends at 24.
    // A picture that cannot be held at 32 bits is processed as it is.
    if (doc.image.IsValid() && doc.image.Depth() != 32) (void)doc.image.ConvertDepth(32);
    if (std::unique_ptr<PixelProcessor> processor = MakeCommandProcessor(id))
        doc.ApplyProcessor(processor.get());
    if (doc.image.IsValid() && doc.image.Depth() != 24) {
        if (doc.image.ConvertDepth(24)) doc.UpdateAllViews();
    }
}

}  // namespace glimmora
