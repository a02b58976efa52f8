// Snapshots of the picture and its objects, and the bounded history that holds them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>

#include "editor/overlay_object.h"
#include "image/image.h"
#include "image/processors/processor.h"

namespace glimmora {

class CTavrikDoc;

// The state before a change and, once it has been undone, the state after it.
class UndoStep {
  public:
    UndoStep() = default;
    UndoStep(const UndoStep&) = delete;
    UndoStep& operator=(const UndoStep&) = delete;
    virtual ~UndoStep() = default;

    // Takes the before state, then runs processor (if any) over the document's image. False when the
    // processor rejected the picture or could not be run on it: the picture is unchanged.
    virtual bool Apply(CTavrikDoc& doc, PixelProcessor* processor, ProgressSink* progress);
    // Keeps the current state as the after state and restores the before state. The document tells
    // its views once the history has settled.
    virtual void Undo(CTavrikDoc& doc);
    // Keeps the current state as the before state and restores the after state.
    virtual void Redo(CTavrikDoc& doc);

    Image beforeImage;
    Image afterImage;
    ObjectList beforeObjects;
    ObjectList afterObjects;

  protected:
    void TakeBefore(const CTavrikDoc& doc);
};

// A change of the objects alone (moved, resized, restyled, reordered, text edited): the picture is
// neither copied nor touched.
class ObjectsUndoStep : public UndoStep {
  public:
    void Undo(CTavrikDoc& doc) override;
    void Redo(CTavrikDoc& doc) override;
};

// Resizing the document's image: quality 0 nearest neighbour ("Good"), 1 bilinear ("Better").
class ResizeUndoStep : public UndoStep {
  public:
    ResizeUndoStep(int width, int height, int quality)
        : targetWidth(width), targetHeight(height), quality(quality) {}
    // False when the picture could not be resampled to a new size (past the size bound).
    bool Apply(CTavrikDoc& doc, PixelProcessor* processor, ProgressSink* progress) override;

    int targetWidth;
    int targetHeight;
    int quality;
};

class UndoHistory {
  public:
    static constexpr int kInitialLimit = 20;

    explicit UndoHistory(CTavrikDoc& owner) : owner_(owner) {}
    UndoHistory(const UndoHistory&) = delete;
    UndoHistory& operator=(const UndoHistory&) = delete;
    virtual ~UndoHistory() = default;

    virtual void UndoOne(UndoStep& step);
    virtual void RedoOne(UndoStep& step);

    // Records a step: the redo steps go, and the oldest step goes when the limit is reached.
    // False (and the step is dropped) when nothing can be recorded.
    bool Push(std::unique_ptr<UndoStep> step);
    // Keeps at most n steps in both stacks together, dropping redo steps first; negative n is ignored.
    void SetLimit(int n);
    int Limit() const { return limit_; }

    // Counts every change of the stacks, so a caller can tell that its own push is still the newest.
    uint64_t Changes() const { return changes_; }
    // Forgets the newest undo step if the stacks are as they were at changes (a push that is taken back).
    bool DropNewest(uint64_t changes);
    // Undoes the newest step / redoes the last undone one; false when there is none.
    bool Undo();
    bool Redo();
    size_t UndoCount() const { return undo_.size(); }
    size_t RedoCount() const { return redo_.size(); }

  private:
    CTavrikDoc& owner_;
    int limit_ = kInitialLimit;
    uint64_t changes_ = 0;
    std::deque<std::unique_ptr<UndoStep>> undo_;  // oldest at the front
    std::deque<std::unique_ptr<UndoStep>> redo_;  // last undone at the front
};

}  // namespace glimmora
