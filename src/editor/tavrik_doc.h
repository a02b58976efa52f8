// One editor document: the picture, its overlay objects, the undo history and the file it belongs to.
#pragma once

#include <QObject>
#include <QRect>
#include <QString>
#include <memory>
#include <string>

#include "editor/document_host.h"
#include "editor/overlay_object.h"
#include "editor/undo_history.h"
#include "image/image.h"
#include "image/processors/processor.h"

namespace glimmora {

// A part of the picture at its own depth, palette kept; invalid when it cannot be allocated.
Image CropCopy(const Image& src, const QRect& r);

class CTavrikDoc : public QObject {
    Q_OBJECT

  public:
    static constexpr int kUndoLimit = 10;

    explicit CTavrikDoc(QObject* parent = nullptr);
    ~CTavrikDoc() override;

    // The windows around the document; none of them is owned.
    void SetPrompts(DocumentPrompts* prompts) { prompts_ = prompts; }
    void SetFirstView(DocumentView* view) { view_ = view; }
    void SetProgressHost(ProgressHost* host) { progressHost_ = host; }
    DocumentPrompts* Prompts() const { return prompts_; }

    const QString& Title() const { return title_; }
    void SetTitle(const QString& title);
    const std::string& PathName() const { return pathName_; }
    // Also titles the document with the file's name.
    void SetPathName(const std::string& path);

    // Reads the file into the image (32 bits) and sets the path name. False, with a message and the
    // document unchanged, when the file cannot be opened or decoded or its picture cannot become 32 bits.
    bool OnOpenDocument(const std::string& path);
    // Writes the image with every object drawn on it; the document itself stays as it is.
    bool OnSaveDocument(const std::string& path);
    // The close prompt for a changed document. True when the document may be destroyed now.
    bool OnCloseDocument();

    // Save: to the path name, or through the save dialog when there is none. Save As: always the dialog.
    // A failed save is reported by name; false also when the dialog was cancelled.
    bool OnFileSave();
    bool OnFileSaveAs();
    // The save dialog, then the save; a failure is reported by name. keepPathName: a copy is saved and
    // the document keeps its name (the close prompt's Yes); otherwise it takes the chosen path.
    enum class SaveResult { kSaved, kCancelled, kFailed };
    SaveResult SaveWithDialog(bool keepPathName);
    void OnEditUndo();
    void OnEditRedo();
    bool CanUndo() const { return undo.UndoCount() > 0; }
    bool CanRedo() const { return undo.RedoCount() > 0; }

    // Runs one image processor as one undo step; null does nothing. False, and no step, when the
    // processor rejected the picture or could not be run on it (said in a message when the result
    // would be too large).
    bool ApplyProcessor(PixelProcessor* processor);
    // Runs a ready-made step (a resize) and records it; a step that fails is reported and not recorded.
    bool ApplyStep(std::unique_ptr<UndoStep> step);
    // Records the state before a change the caller is about to make: a copy of picture (the document's
    // own image) and of the objects.
    bool RecordState(const Image& picture);

    // How every picture of the editor reaches a file: the encoder follows the extension.
    static bool SaveImageFile(const Image& picture, const std::string& path);

    // A capture or the New command's blank image becomes the picture (at 32 bits); objects stay.
    // False when it could not become 32 bits: it is kept as it is, and objects are not drawn on it.
    bool SetNewImage(const Image& picture);
    void SetModified(int value);

    // Picture edits of the view, each one undo step (objects stay as they are). Cut whitens the part
    // (at 32 bits for palette pictures); Paste puts the picture at the top-left corner, on a white canvas
    // grown to hold it when expand is set. A result past the size bound is refused with a message.
    bool CropTo(const QRect& keep);
    bool WhitenRect(const QRect& part);
    bool PastePicture(const Image& pasted, bool expand);
    // The crop tool works on flat pixels: the objects are burnt in as one step, as Flatten does; with no
    // objects nothing is recorded, so adjusting the crop rectangle never fills the history.
    bool BurnInObjects();

    // A new object from a tool: one undo step, then it lies on top. Returns it.
    OverlayObject* AddObject(std::unique_ptr<OverlayObject> object);
    // Takes back the object just added (its text dialog was cancelled): no undo step, and the step its
    // addition recorded goes too while nothing was recorded since.
    bool CancelNewObject(OverlayObject* object);
    // The view moved, resized or restyled the object, or its text was edited; the step was recorded
    // before the change with RecordObjects.
    void NoteObjectChanged(OverlayObject* object);
    // One undo step holding the object list alone (no picture copy): before is the list as it was
    // before the change the caller makes (or has made, for a drag).
    bool RecordObjects(const ObjectList& before);
    // Before a restyle of object from the option bar. Restyles of the same object during one drag of a
    // control (the same non-zero dragSerial) with nothing recorded in between share one step.
    void RecordRestyle(const OverlayObject* object, int dragSerial);

    // The object commands of the view's context menu. Delete and Flatten are undo steps and clear the
    // view's selection. Flatten refuses (and says so) when the objects cannot be drawn onto the picture.
    // With renumber, deleting a step counter takes one off every higher counter, in the same step.
    bool DeleteObject(OverlayObject* object, bool renumber = false);
    bool Flatten();
    bool BringToFront(OverlayObject* object);
    bool SendToBack(OverlayObject* object);

    // Every view repaints.
    void UpdateAllViews() { emit updated(); }

    UndoHistory undo;
    Image image;
    ObjectList objects;
    // 1 while the document holds changes that are not in a file.
    int modified = 0;

  signals:
    // The picture or the objects changed (sent once the history and modified have settled).
    void updated();
    void titleChanged(const QString& title);
    void pathNameChanged(const QString& path);
    void modifiedChanged(bool modified);
    // Sent while the object is still alive and in the list (added: just appended; removed: just before
    // it goes).
    void objectAdded(OverlayObject* object);
    void objectRemoved(OverlayObject* object);
    void objectChanged(OverlayObject* object);

  private:
    bool PushState(Image before);
    // Records the picture and objects as they are, then makes result the picture.
    bool ReplaceImage(Image result);
    void ReportTooLarge();
    void ReportSaveFailure(const std::string& path);
    void MarkModified() { SetModified(1); }
    ObjectList::iterator Find(OverlayObject* object);

    DocumentPrompts* prompts_ = nullptr;
    DocumentView* view_ = nullptr;
    ProgressHost* progressHost_ = nullptr;
    QString title_;
    std::string pathName_;
    // The object AddObject made last, and the history as it left it.
    struct NewObject {
        OverlayObject* object = nullptr;
        uint64_t changes = 0;
        bool stepRecorded = false;
        int wasModified = 0;
    } newObject_;
    // The restyle recorded last, and the history as it left it.
    struct Restyle {
        const OverlayObject* object = nullptr;
        uint64_t changes = 0;
        int dragSerial = 0;
    } restyle_;
};

}  // namespace glimmora
