#include "editor/tavrik_doc.h"

#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <deque>

#include "editor/object_file.h"
#include "editor/overlay_render.h"
#include "image/codecs/image_codec.h"
#include "image/codecs/png_chunks.h"
#include "image/codecs/save_route.h"

namespace glimmora {

namespace {
constexpr char kTooLarge[] = "There is not enough memory for this operation: the result would be too large.";
}  // namespace

Image CropCopy(const Image& src, const QRect& r) {
    Image out;
    // The same header, bit-field masks included, at the new size.
    BitmapInfoHeader header = src.Header();
    header.biWidth = r.width();
    header.biHeight = r.height();
    header.biSizeImage = 0;
    const uint32_t masks[3] = {src.RedMask(), src.GreenMask(), src.BlueMask()};
    if (!out.Create(&header, header.biCompression == kBiBitfields ? masks : nullptr)) return out;
    out.CopyPaletteFrom(src);
    const int depth = src.Depth();
    for (int y = 0; y < r.height(); ++y) {
        if (depth >= 8) {
            std::memcpy(out.Row(y), src.PixelAddress(r.x(), r.y() + y),
                        static_cast<size_t>(r.width()) * depth / 8);
            continue;
        }
        const uint8_t* s = src.Row(r.y() + y);
        uint8_t* d = out.Row(y);
        const int perByte = 8 / depth, mask = (1 << depth) - 1;
        for (int x = 0; x < r.width(); ++x) {
            const int sx = r.x() + x;
            const int v = (s[sx / perByte] >> ((perByte - 1 - sx % perByte) * depth)) & mask;
            d[x / perByte] |= static_cast<uint8_t>(v << ((perByte - 1 - x % perByte) * depth));
        }
    }
    return out;
}

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
    // Every time, so the recent-file list moves the file to its top.
    emit pathNameChanged(QString::fromStdString(pathName_));
}

void CTavrikDoc::SetModified(int value) {
    value = value != 0 ? 1 : 0;
    if (value == modified) return;
    modified = value;
    emit modifiedChanged(modified != 0);
}

namespace {
bool IsPngPath(const std::string& path) {
    return path.size() > 4 &&
           QString::fromStdString(path.substr(path.size() - 4)).compare(".png", Qt::CaseInsensitive) == 0;
}
}  // namespace

bool CTavrikDoc::OnOpenDocument(const std::string& path) {
    // Read through FreeImage whatever factory happens to be current; the codecs open only regular files,
    // without blocking.
    Image loaded;
    if (!LoadFirstFrame(FreeImageCodecFactory(), path, loaded)) {
        if (prompts_) prompts_->ShowMessage("Cannot open the file \"" + path + "\".");
        return false;
    }
    if (!loaded.ConvertDepth(32)) {
        if (prompts_) prompts_->ShowMessage("The file \"" + path + "\" is too large to edit.");
        return false;
    }
    // A PNG we saved may keep its objects: they come back editable over the pixels that were beneath.
    std::string chunk;
    Image beneath;
    ObjectList kept;
    if (IsPngPath(path) && ReadPngChunk(path, kObjectChunkType, chunk, kMaxObjectChunk) &&
        ReadObjectChunk(chunk, loaded, beneath, kept)) {
        for (const auto& object : objects) emit objectRemoved(object.get());
        objects = std::move(kept);
        loaded = std::move(beneath);
        for (const auto& object : objects) emit objectAdded(object.get());
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
    // Saving without the objects the user sees would write a different picture.
    if (picture.IsValid() != image.IsValid() || !RenderAll(objects, picture)) return false;
    const bool ok = SaveImageFile(picture, path);
    if (ok) {
        // A PNG keeps the objects for the next time it is opened here, over the pixels beneath them with
        // the redactions burnt in. Without the chunk the file is still the whole picture.
        if (IsPngPath(path) && picture.Depth() == 32) {
            ObjectList covers;
            for (const auto& object : objects)
                if (object->kind == kRedactObject) covers.push_back(CloneObject(*object));
            Image beneath = image;
            if (beneath.IsValid() && beneath.ConvertDepth(32) && RenderAll(covers, beneath)) {
                const std::string chunk = MakeObjectChunk(beneath, picture, objects);
                if (!chunk.empty()) AddPngChunk(path, kObjectChunkType, chunk);
            }
        }
        SetModified(0);
    }
    return ok;
}

void CTavrikDoc::ReportSaveFailure(const std::string& path) {
    if (prompts_) prompts_->ShowMessage("The image could not be saved to \"" + path + "\".");
}

CTavrikDoc::SaveResult CTavrikDoc::SaveWithDialog(bool keepPathName) {
    if (!prompts_) return SaveResult::kCancelled;
    const std::optional<std::string> path = prompts_->AskSavePath(title_.toStdString());
    if (!path || path->empty()) return SaveResult::kCancelled;
    if (!keepPathName) SetPathName(*path);
    if (OnSaveDocument(*path)) return SaveResult::kSaved;
    ReportSaveFailure(*path);
    return SaveResult::kFailed;
}

bool CTavrikDoc::OnFileSave() {
    if (pathName_.empty()) return SaveWithDialog(false) == SaveResult::kSaved;
    if (OnSaveDocument(pathName_)) return true;
    ReportSaveFailure(pathName_);
    return false;
}

bool CTavrikDoc::OnFileSaveAs() {
    return SaveWithDialog(false) == SaveResult::kSaved;
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
            return SaveWithDialog(true) == SaveResult::kSaved;
    }
    return false;
}

// Views hear of the change only once the step has moved to its new stack and modified is set.
void CTavrikDoc::OnEditUndo() {
    if (view_) view_->ClearSelectionState();
    if (!undo.Undo()) return;
    MarkModified();
    UpdateAllViews();
}

void CTavrikDoc::OnEditRedo() {
    if (view_) view_->ClearSelectionState();
    if (!undo.Redo()) return;
    MarkModified();
    UpdateAllViews();
}

bool CTavrikDoc::ApplyProcessor(PixelProcessor* processor) {
    if (!processor) return false;
    auto step = std::make_unique<UndoStep>();
    bool done;
    {
        std::unique_ptr<ProgressSink> progress = progressHost_ ? progressHost_->CreateProgress() : nullptr;
        done = step->Apply(*this, processor, progress.get());
    }
    // A run that changed nothing is no step.
    if (!done) {
        if (processor->PreparationFailed() && prompts_) prompts_->ShowMessage(kTooLarge);
        return false;
    }
    if (undo.Push(std::move(step))) MarkModified();
    UpdateAllViews();
    return true;
}

bool CTavrikDoc::ApplyStep(std::unique_ptr<UndoStep> step) {
    if (!step) return false;
    if (progressHost_) progressHost_->SetWaitCursor(true);
    bool done;
    {
        std::unique_ptr<ProgressSink> progress = progressHost_ ? progressHost_->CreateProgress() : nullptr;
        done = step->Apply(*this, nullptr, progress.get());
    }
    if (done) {
        if (undo.Push(std::move(step))) MarkModified();
        UpdateAllViews();
    }
    if (progressHost_) progressHost_->SetWaitCursor(false);
    if (!done && prompts_) prompts_->ShowMessage(kTooLarge);
    return done;
}

bool CTavrikDoc::RecordState(const Image& picture) {
    return PushState(picture);
}

bool CTavrikDoc::PushState(Image before) {
    auto step = std::make_unique<UndoStep>();
    step->beforeImage = std::move(before);
    DeepCopy(step->beforeObjects, objects);
    if (!undo.Push(std::move(step))) return false;
    MarkModified();
    return true;
}

bool CTavrikDoc::SetNewImage(const Image& picture) {
    Image converted(picture);
    // A picture that cannot be held at 32 bits leaves the document as it was.
    if (!converted.ConvertDepth(32)) return false;
    image = std::move(converted);
    MarkModified();
    UpdateAllViews();
    return true;
}

void CTavrikDoc::ReportTooLarge() {
    if (prompts_) prompts_->ShowMessage(kTooLarge);
}

bool CTavrikDoc::ReplaceImage(Image result) {
    PushState(std::move(image));
    image = std::move(result);
    MarkModified();
    UpdateAllViews();
    return true;
}

bool CTavrikDoc::CropTo(const QRect& keep) {
    if (!image.IsValid()) return false;
    const QRect part = keep & QRect(0, 0, image.Width(), image.Height());
    if (part.isEmpty()) return false;
    Image cropped = CropCopy(image, part);
    if (!cropped.IsValid()) {
        ReportTooLarge();
        return false;
    }
    return ReplaceImage(std::move(cropped));
}

bool CTavrikDoc::WhitenRect(const QRect& area) {
    if (!image.IsValid()) return false;
    const QRect part = area & QRect(0, 0, image.Width(), image.Height());
    if (part.isEmpty()) return false;
    // Palette pictures have no white to write: they are whitened at 32 bits.
    Image whitened(image);
    if (whitened.IsValid() != image.IsValid() || (whitened.Depth() < 16 && !whitened.ConvertDepth(32))) {
        ReportTooLarge();
        return false;
    }
    const uint8_t white[4] = {255, 255, 255, 255};
    whitened.FillRect({part.x(), part.y(), part.x() + part.width(), part.y() + part.height()}, white);
    return ReplaceImage(std::move(whitened));
}

bool CTavrikDoc::PastePicture(const Image& pasted, bool expand) {
    if (!pasted.IsValid()) return false;
    Image result;
    if (expand) {
        const int w = std::max(image.IsValid() ? image.Width() : 0, pasted.Width());
        const int h = std::max(image.IsValid() ? image.Height() : 0, pasted.Height());
        const uint8_t white[4] = {255, 255, 255, 255};
        Image old(image);
        if (!result.Create(w, h, 32) || old.IsValid() != image.IsValid() ||
            (old.IsValid() && !old.ConvertDepth(32))) {
            ReportTooLarge();
            return false;
        }
        result.FillRect({0, 0, w, h}, white);
        if (old.IsValid()) result.Paste(old, 0, 0);
    } else {
        result = image;
        if (!result.IsValid() || !result.ConvertDepth(32)) {
            if (image.IsValid()) ReportTooLarge();
            return false;
        }
    }
    result.Paste(pasted, 0, 0);
    return ReplaceImage(std::move(result));
}

bool CTavrikDoc::BurnInObjects() {
    return objects.empty() || Flatten();
}

ObjectList::iterator CTavrikDoc::Find(OverlayObject* object) {
    return std::find_if(objects.begin(), objects.end(),
                        [object](const auto& o) { return o.get() == object; });
}

OverlayObject* CTavrikDoc::AddObject(std::unique_ptr<OverlayObject> object) {
    if (!object) return nullptr;
    const int wasModified = modified;
    const bool recorded = RecordState(image);
    MarkModified();
    objects.push_back(std::move(object));
    OverlayObject* added = objects.back().get();
    newObject_ = {added, undo.Changes(), recorded, wasModified};
    emit objectAdded(added);
    UpdateAllViews();
    return added;
}

bool CTavrikDoc::CancelNewObject(OverlayObject* object) {
    auto it = Find(object);
    if (!object || it == objects.end()) return false;
    emit objectRemoved(object);
    objects.erase(it);
    if (newObject_.object == object && newObject_.stepRecorded && undo.DropNewest(newObject_.changes))
        SetModified(newObject_.wasModified);
    newObject_ = {};
    UpdateAllViews();
    return true;
}

void CTavrikDoc::NoteObjectChanged(OverlayObject* object) {
    if (!object || Find(object) == objects.end()) return;
    MarkModified();
    emit objectChanged(object);
    UpdateAllViews();
}

bool CTavrikDoc::RecordObjects(const ObjectList& before) {
    auto step = std::make_unique<ObjectsUndoStep>();
    DeepCopy(step->beforeObjects, before);
    if (!undo.Push(std::move(step))) return false;
    MarkModified();
    return true;
}

void CTavrikDoc::RecordRestyle(const OverlayObject* object, int dragSerial) {
    if (dragSerial != 0 && restyle_.dragSerial == dragSerial && restyle_.object == object &&
        restyle_.changes == undo.Changes())
        return;
    RecordObjects(objects);
    restyle_ = {object, undo.Changes(), dragSerial};
}

bool CTavrikDoc::DeleteObject(OverlayObject* object, bool renumber) {
    auto it = Find(object);
    if (!object || it == objects.end()) return false;
    RecordState(image);
    if (auto* gone = dynamic_cast<CounterObject*>(object); gone && renumber) {
        for (const auto& other : objects)
            if (auto* counter = dynamic_cast<CounterObject*>(other.get());
                counter && counter != gone && counter->number > gone->number) {
                --counter->number;
                emit objectChanged(counter);
            }
    }
    emit objectRemoved(object);
    objects.erase(it);
    if (view_) view_->ClearSelectionState();
    UpdateAllViews();
    return true;
}

bool CTavrikDoc::Flatten() {
    // Drawn on a copy first: when the objects cannot be drawn the document keeps them and records
    // nothing.
    Image flat = image;
    if (flat.IsValid() != image.IsValid() || !RenderAll(objects, flat)) {
        if (prompts_)
            prompts_->ShowMessage("The objects could not be drawn onto the image: it is too large.");
        return false;
    }
    PushState(std::move(image));
    image = std::move(flat);
    for (const auto& object : objects) emit objectRemoved(object.get());
    objects.clear();
    if (view_) view_->ClearSelectionState();
    UpdateAllViews();
    return true;
}

bool CTavrikDoc::BringToFront(OverlayObject* object) {
    auto it = Find(object);
    if (!object || it == objects.end()) return false;
    if (std::next(it) == objects.end()) return true;
    RecordObjects(objects);
    objects.splice(objects.end(), objects, it);
    MarkModified();
    emit objectChanged(object);
    UpdateAllViews();
    return true;
}

bool CTavrikDoc::SendToBack(OverlayObject* object) {
    auto it = Find(object);
    if (!object || it == objects.end()) return false;
    if (it == objects.begin()) return true;
    RecordObjects(objects);
    objects.splice(objects.begin(), objects, it);
    MarkModified();
    emit objectChanged(object);
    UpdateAllViews();
    return true;
}

}  // namespace glimmora
