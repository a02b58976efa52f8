#include "editor/tavrik_doc.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <algorithm>
#include <deque>

#include "editor/overlay_render.h"
#include "image/codecs/image_codec.h"
#include "image/codecs/save_route.h"

namespace glimmora {

CTavrikDoc::CTavrikDoc(QObject* parent) : QObject(parent), undo(*this) {
    undo.SetLimit(kUndoLimit);
}

// The history's steps go before the objects and the image they were taken from.
CTavrikDoc::~CTavrikDoc() = default;

void CTavrikDoc::SetTitle(const QString& title) {
    if (title == title_) return;
    title_ = title;
    emit titleChanged(title_);
}

void CTavrikDoc::SetPathName(const std::string& path) {
    pathName_ = path;
    SetTitle(QFileInfo(QString::fromStdString(path)).fileName());
}

bool CTavrikDoc::OnOpenDocument(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st;
    const bool readable = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (fd >= 0) ::close(fd);
    if (!readable) {
        if (prompts_) prompts_->ShowMessage("Cannot open the file \"" + path + "\".");
        return false;
    }
    // Read through FreeImage whatever factory happens to be current.
    Image loaded;
    if (!LoadFirstFrame(FreeImageCodecFactory(), path, loaded) || !loaded.ConvertDepth(32)) {
        if (prompts_) prompts_->ShowMessage("Cannot open the file \"" + path + "\".");
        return false;
    }
    image = std::move(loaded);
    SetPathName(path);
    UpdateAllViews();
    return true;
}

bool CTavrikDoc::SaveImageFile(const Image& picture, const std::string& path) {
    return glimmora::SaveImageFile(picture, path);
}

bool CTavrikDoc::OnSaveDocument(const std::string& path) {
    Image picture = image;
    RenderAll(objects, picture);
    const bool ok = SaveImageFile(picture, path);
    if (ok) modified = 0;
    return ok;
}

void CTavrikDoc::ReportSaveFailure(const std::string& path) {
    if (prompts_) prompts_->ShowMessage("The image could not be saved to \"" + path + "\".");
}

bool CTavrikDoc::SaveDialogAndSave(bool keepPathName) {
    if (!prompts_) return false;
    const std::optional<std::string> path = prompts_->AskSavePath(title_.toStdString());
    if (!path || path->empty()) return false;
    if (!keepPathName) SetPathName(*path);
    if (OnSaveDocument(*path)) return true;
    ReportSaveFailure(*path);
    return false;
}

bool CTavrikDoc::OnFileSave() {
    if (pathName_.empty()) return SaveDialogAndSave(false);
    if (OnSaveDocument(pathName_)) return true;
    ReportSaveFailure(pathName_);
    return false;
}

bool CTavrikDoc::OnFileSaveAs() {
    return SaveDialogAndSave(false);
}

bool CTavrikDoc::OnCloseDocument() {
    if (modified == 0) return true;
    // Without anyone to ask, the user's changes are kept: the document stays open.
    if (!prompts_) return false;
    switch (prompts_->AskSaveImage()) {
        case DocumentPrompts::Answer::kCancel:
            return false;
        case DocumentPrompts::Answer::kNo:
            return true;
        case DocumentPrompts::Answer::kYes:
            // Saving a copy from the prompt does not rename the document; a failed save keeps it open.
            return SaveDialogAndSave(true);
    }
    return false;
}

void CTavrikDoc::OnEditUndo() {
    if (view_) view_->ClearSelectionState();
    if (undo.Undo()) MarkModified();
}

void CTavrikDoc::OnEditRedo() {
    if (view_) view_->ClearSelectionState();
    if (undo.Redo()) MarkModified();
}

void CTavrikDoc::ApplyProcessor(PixelProcessor* processor) {
    if (!processor) return;
    auto step = std::make_unique<UndoStep>();
    {
        std::unique_ptr<ProgressSink> progress = progressHost_ ? progressHost_->CreateProgress() : nullptr;
        step->Apply(*this, processor, progress.get());
    }
    if (undo.Push(std::move(step))) MarkModified();
    UpdateAllViews();
}

void CTavrikDoc::ApplyStep(std::unique_ptr<UndoStep> step) {
    if (!step) return;
    if (progressHost_) progressHost_->SetWaitCursor(true);
    {
        std::unique_ptr<ProgressSink> progress = progressHost_ ? progressHost_->CreateProgress() : nullptr;
        step->Apply(*this, nullptr, progress.get());
    }
    if (undo.Push(std::move(step))) MarkModified();
    UpdateAllViews();
    if (progressHost_) progressHost_->SetWaitCursor(false);
}

bool CTavrikDoc::RecordState(const Image& picture) {
    auto step = std::make_unique<UndoStep>();
    step->beforeImage = picture;
    DeepCopy(step->beforeObjects, objects);
    if (!undo.Push(std::move(step))) return false;
    MarkModified();
    return true;
}

void CTavrikDoc::SetNewImage(const Image& picture) {
    Image converted(picture);
    // A picture that cannot be held at 32 bits leaves the document as it was.
    if (!converted.ConvertDepth(32)) return;
    image = std::move(converted);
    MarkModified();
    UpdateAllViews();
}

void CTavrikDoc::NoteEdit() {
    MarkModified();
}

ObjectList::iterator CTavrikDoc::Find(OverlayObject* object) {
    return std::find_if(objects.begin(), objects.end(),
                        [object](const auto& o) { return o.get() == object; });
}

bool CTavrikDoc::DeleteObject(OverlayObject* object) {
    auto it = Find(object);
    if (!object || it == objects.end()) return false;
    RecordState(image);
    objects.erase(it);
    UpdateAllViews();
    return true;
}

void CTavrikDoc::Flatten() {
    RecordState(image);
    RenderAll(objects, image);
    objects.clear();
    UpdateAllViews();
}

bool CTavrikDoc::BringToFront(OverlayObject* object) {
    auto it = Find(object);
    if (!object || it == objects.end()) return false;
    objects.splice(objects.end(), objects, it);
    MarkModified();
    UpdateAllViews();
    return true;
}

bool CTavrikDoc::SendToBack(OverlayObject* object) {
    auto it = Find(object);
    if (!object || it == objects.end()) return false;
    objects.splice(objects.begin(), objects, it);
    MarkModified();
    UpdateAllViews();
    return true;
}

}  // namespace glimmora
