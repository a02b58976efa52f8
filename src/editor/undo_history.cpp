#include "editor/undo_history.h"

#include "editor/tavrik_doc.h"
#include "image/processors/geometry.h"

namespace glimmora {

void UndoStep::TakeBefore(const CTavrikDoc& doc) {
    beforeImage = doc.image;
    DeepCopy(beforeObjects, doc.objects);
}

bool UndoStep::Apply(CTavrikDoc& doc, PixelProcessor* processor, ProgressSink* progress) {
    TakeBefore(doc);
    return !processor || RunProcessor(doc.image, *processor, progress);
}

void UndoStep::Undo(CTavrikDoc& doc) {
    afterImage = doc.image;
    DeepCopy(afterObjects, doc.objects);
    doc.image = beforeImage;
    DeepCopy(doc.objects, beforeObjects);
}

void UndoStep::Redo(CTavrikDoc& doc) {
    beforeImage = doc.image;
    DeepCopy(beforeObjects, doc.objects);
    doc.image = afterImage;
    DeepCopy(doc.objects, afterObjects);
}

void ObjectsUndoStep::Undo(CTavrikDoc& doc) {
    DeepCopy(afterObjects, doc.objects);
    DeepCopy(doc.objects, beforeObjects);
}

void ObjectsUndoStep::Redo(CTavrikDoc& doc) {
    DeepCopy(beforeObjects, doc.objects);
    DeepCopy(doc.objects, afterObjects);
}

bool ResizeUndoStep::Apply(CTavrikDoc& doc, PixelProcessor*, ProgressSink* progress) {
    TakeBefore(doc);
    const bool newSize = targetWidth > 0 && targetHeight > 0 &&
                         (targetWidth != doc.image.Width() || targetHeight != doc.image.Height());
    if (quality == 0) return ResizeNearest(doc.image, targetWidth, targetHeight) || !newSize;
    if (quality == 1) return ResizeBilinear(doc.image, targetWidth, targetHeight, progress) || !newSize;
    return true;
}

void UndoHistory::UndoOne(UndoStep& step) {
    step.Undo(owner_);
}

void UndoHistory::RedoOne(UndoStep& step) {
    step.Redo(owner_);
}

bool UndoHistory::Push(std::unique_ptr<UndoStep> step) {
    if (limit_ <= 0 || !step) return false;
    ++changes_;
    redo_.clear();
    if (undo_.size() >= static_cast<size_t>(limit_)) undo_.pop_front();
    undo_.push_back(std::move(step));
    return true;
}

void UndoHistory::SetLimit(int n) {
    if (n < 0) return;
    limit_ = n;
    ++changes_;
    const size_t keep = static_cast<size_t>(n);
    while (undo_.size() + redo_.size() > keep && !redo_.empty()) redo_.pop_back();
    while (undo_.size() + redo_.size() > keep && !undo_.empty()) undo_.pop_front();
}

bool UndoHistory::DropNewest(uint64_t changes) {
    if (changes != changes_ || undo_.empty()) return false;
    undo_.pop_back();
    ++changes_;
    return true;
}

bool UndoHistory::Undo() {
    if (undo_.empty()) return false;
    ++changes_;
    std::unique_ptr<UndoStep> step = std::move(undo_.back());
    undo_.pop_back();
    UndoOne(*step);
    redo_.push_front(std::move(step));
    return true;
}

bool UndoHistory::Redo() {
    if (redo_.empty()) return false;
    ++changes_;
    std::unique_ptr<UndoStep> step = std::move(redo_.front());
    redo_.pop_front();
    RedoOne(*step);
    undo_.push_back(std::move(step));
    return true;
}

}  // namespace glimmora
