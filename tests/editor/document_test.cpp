#include "editor/tavrik_doc.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <utility>

#include "editor/editor_test_util.h"
#include "editor/image_commands.h"
#include "editor/object_file.h"
#include "editor/overlay_render.h"
#include "image/codecs/image_codec.h"
#include "image/codecs/png_chunks.h"
#include "image/processors/geometry.h"

namespace glimmora {
namespace {

using test::At;
using test::Bgra;

// The user's answers, given in advance; everything shown is kept for the test to look at.
class ScriptedPrompts : public DocumentPrompts {
  public:
    Answer AskSaveImage() override {
        ++questions;
        return answer;
    }
    std::optional<std::string> AskSavePath(const std::string& initialName) override {
        dialogNames.push_back(initialName);
        if (paths.empty()) return std::nullopt;
        std::optional<std::string> path = paths.front();
        paths.pop_front();
        return path;
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }

    Answer answer = Answer::kCancel;
    std::deque<std::optional<std::string>> paths;
    int questions = 0;
    std::vector<std::string> dialogNames, messages;
};

class CountingView : public DocumentView {
  public:
    void ClearSelectionState() override { ++clears; }
    int clears = 0;
};

class RecordingProgress : public ProgressHost {
  public:
    class Sink : public ProgressSink {
      public:
        explicit Sink(RecordingProgress& host) : host_(host) { ++host_.live; }
        ~Sink() override { --host_.live; }
        void Start() override { host_.events.push_back(-1); }
        void SetPercent(int percent) override { host_.events.push_back(percent); }

      private:
        RecordingProgress& host_;
    };
    std::unique_ptr<ProgressSink> CreateProgress() override {
        ++created;
        return std::make_unique<Sink>(*this);
    }
    void SetWaitCursor(bool on) override { cursor.push_back(on); }

    int created = 0, live = 0;
    std::vector<int> events;
    std::vector<bool> cursor;
};

Bgra Colour(int i) {
    return {i, 255 - i, i * 2 % 256, 255};
}

uint32_t ColourRef(int i) {
    const Bgra c = Colour(i);
    return static_cast<uint32_t>(c[2] | c[1] << 8 | c[0] << 16);
}

std::unique_ptr<HighlightObject> Box(int l, int t, int r, int b, ColorRef colour = 0x0000FF) {
    auto box = std::make_unique<HighlightObject>();
    box->transparency = 0;
    box->colour = colour;
    box->left = l, box->top = t, box->right = r, box->bottom = b;
    return box;
}

class DocumentTest : public ::testing::Test {
  protected:
    void SetUp() override {
        doc_.SetPrompts(&prompts_);
        doc_.SetFirstView(&view_);
        doc_.SetProgressHost(&progress_);
        doc_.SetTitle(QStringLiteral("Capture1"));
        doc_.SetNewImage(test::White(8, 6));
    }
    std::string File(const std::string& name) const { return dir_.path().toStdString() + "/" + name; }

    QTemporaryDir dir_;
    ScriptedPrompts prompts_;
    CountingView view_;
    RecordingProgress progress_;
    CTavrikDoc doc_;
};

TEST_F(DocumentTest, AnEleventhChangeDropsTheOldestStep) {
    for (int i = 1; i <= 11; ++i) {
        FillColourProcessor fill(ColourRef(i));
        doc_.ApplyProcessor(&fill);
    }
    EXPECT_EQ(At(doc_.image, 3, 3), Colour(11));
    int undone = 0;
    while (doc_.CanUndo()) {
        doc_.OnEditUndo();
        ++undone;
    }
    EXPECT_EQ(undone, 10);
    EXPECT_EQ(At(doc_.image, 3, 3), Colour(1));  // the first change can no longer be undone
    while (doc_.CanRedo()) doc_.OnEditRedo();
    EXPECT_EQ(At(doc_.image, 3, 3), Colour(11));
    EXPECT_EQ(doc_.undo.Limit(), 10);
}

TEST_F(DocumentTest, ANewChangeAfterUndoEmptiesTheRedoStack) {
    FillColourProcessor a(ColourRef(1)), b(ColourRef(2)), c(ColourRef(3));
    doc_.ApplyProcessor(&a);
    doc_.ApplyProcessor(&b);
    doc_.OnEditUndo();
    EXPECT_TRUE(doc_.CanRedo());
    doc_.ApplyProcessor(&c);
    EXPECT_FALSE(doc_.CanRedo());
    doc_.OnEditUndo();
    EXPECT_EQ(At(doc_.image, 0, 0), Colour(1));
    doc_.OnEditRedo();
    EXPECT_EQ(At(doc_.image, 0, 0), Colour(3));
}

TEST_F(DocumentTest, UndoAndRedoRestoreObjectListsAsCopies) {
    ASSERT_TRUE(doc_.RecordState(doc_.image));
    doc_.objects.push_back(Box(1, 1, 4, 4));
    ASSERT_TRUE(doc_.RecordState(doc_.image));
    doc_.objects.push_back(Box(2, 2, 5, 5, 0xFF0000));
    OverlayObject* second = doc_.objects.back().get();

    doc_.OnEditUndo();
    ASSERT_EQ(doc_.objects.size(), 1u);
    doc_.OnEditUndo();
    EXPECT_TRUE(doc_.objects.empty());
    doc_.OnEditRedo();
    doc_.OnEditRedo();
    ASSERT_EQ(doc_.objects.size(), 2u);
    auto* restored = dynamic_cast<HighlightObject*>(doc_.objects.back().get());
    ASSERT_TRUE(restored);
    EXPECT_NE(restored, second);  // fresh copies: pointers to the old objects are stale
    EXPECT_EQ(restored->colour, 0xFF0000u);
    EXPECT_EQ(restored->left, 2);
}

TEST_F(DocumentTest, UndoingAResizeRestoresSizeAndObjects) {
    doc_.objects.push_back(Box(1, 1, 4, 4));
    doc_.ApplyStep(std::make_unique<ResizeUndoStep>(20, 30, 0));
    EXPECT_EQ(doc_.image.Width(), 20);
    EXPECT_EQ(doc_.image.Height(), 30);
    doc_.objects.clear();
    doc_.OnEditUndo();
    EXPECT_EQ(doc_.image.Width(), 8);
    EXPECT_EQ(doc_.image.Height(), 6);
    EXPECT_EQ(doc_.objects.size(), 1u);
    doc_.OnEditRedo();
    EXPECT_EQ(doc_.image.Width(), 20);
    EXPECT_TRUE(doc_.objects.empty());
    EXPECT_EQ(progress_.cursor, (std::vector<bool>{true, false}));

    // The smooth resize reports its rows; an unknown quality changes nothing but is still a step.
    progress_.events.clear();
    doc_.ApplyStep(std::make_unique<ResizeUndoStep>(10, 4, 1));
    EXPECT_EQ(doc_.image.Width(), 10);
    ASSERT_FALSE(progress_.events.empty());
    EXPECT_EQ(progress_.events.front(), -1);
    EXPECT_EQ(progress_.events.back(), 75);  // (height - 1) * 100 / height
    doc_.ApplyStep(std::make_unique<ResizeUndoStep>(99, 99, 5));
    EXPECT_EQ(doc_.image.Width(), 10);
    doc_.OnEditUndo();
    EXPECT_EQ(doc_.image.Width(), 10);
    doc_.OnEditUndo();
    EXPECT_EQ(doc_.image.Width(), 20);
    EXPECT_EQ(progress_.live, 0);
}

TEST_F(DocumentTest, ProcessorRunsReportProgressAndNullDoesNothing) {
    FillColourProcessor fill(ColourRef(9));
    doc_.ApplyProcessor(&fill);
    EXPECT_EQ(progress_.created, 1);
    EXPECT_EQ(progress_.live, 0);
    EXPECT_EQ(progress_.events, (std::vector<int>{-1, 16, 33, 50, 66, 83, 100}));
    doc_.ApplyProcessor(nullptr);
    EXPECT_EQ(doc_.undo.UndoCount(), 1u);
}

TEST_F(DocumentTest, UndoAndRedoClearTheViewSelectionEvenWithNothingToDo) {
    doc_.OnEditUndo();
    doc_.OnEditRedo();
    EXPECT_EQ(view_.clears, 2);
}

TEST_F(DocumentTest, FlattenThenUndoBringsBackImageAndObjects) {
    doc_.objects.push_back(Box(0, 0, 4, 4));
    doc_.Flatten();
    EXPECT_TRUE(doc_.objects.empty());
    EXPECT_EQ(At(doc_.image, 1, 1), (Bgra{0, 0, 255, 255}));
    doc_.OnEditUndo();
    EXPECT_EQ(doc_.objects.size(), 1u);
    EXPECT_EQ(At(doc_.image, 1, 1), (Bgra{255, 255, 255, 255}));

    // After an image command the picture is 24-bit; flattening still burns the objects in.
    ASSERT_TRUE(doc_.image.ConvertDepth(24));
    doc_.Flatten();
    EXPECT_EQ(At(doc_.image, 1, 1), (Bgra{0, 0, 255, 255}));
}

TEST_F(DocumentTest, DeleteIsAStepAndTheLayerCommandsReorder) {
    doc_.objects.push_back(Box(0, 0, 4, 4, 1));
    doc_.objects.push_back(Box(0, 0, 4, 4, 2));
    doc_.objects.push_back(Box(0, 0, 4, 4, 3));
    auto colours = [&] {
        std::vector<ColorRef> out;
        for (const auto& o : doc_.objects) out.push_back(static_cast<HighlightObject&>(*o).colour);
        return out;
    };
    OverlayObject* first = doc_.objects.front().get();
    OverlayObject* last = doc_.objects.back().get();
    EXPECT_TRUE(doc_.BringToFront(first));
    EXPECT_EQ(colours(), (std::vector<ColorRef>{2, 3, 1}));
    EXPECT_TRUE(doc_.SendToBack(last));
    EXPECT_EQ(colours(), (std::vector<ColorRef>{3, 2, 1}));
    EXPECT_TRUE(doc_.BringToFront(first));  // already on top: no step
    EXPECT_EQ(colours(), (std::vector<ColorRef>{3, 2, 1}));
    // Each reorder is a step of the object list alone.
    EXPECT_EQ(doc_.undo.UndoCount(), 2u);

    EXPECT_TRUE(doc_.DeleteObject(doc_.objects.front().get()));
    EXPECT_EQ(colours(), (std::vector<ColorRef>{2, 1}));
    HighlightObject stranger;
    EXPECT_FALSE(doc_.DeleteObject(&stranger));
    EXPECT_FALSE(doc_.DeleteObject(nullptr));
    const Image picture = doc_.image;
    for (auto expected : {std::vector<ColorRef>{3, 2, 1}, {2, 3, 1}, {1, 2, 3}}) {
        doc_.OnEditUndo();
        EXPECT_EQ(colours(), expected);
        EXPECT_EQ(std::memcmp(doc_.image.Bits(), picture.Bits(), picture.PixelBytes()), 0);
    }
    doc_.OnEditRedo();
    EXPECT_EQ(colours(), (std::vector<ColorRef>{2, 3, 1}));
}

TEST_F(DocumentTest, OperationsThatCannotBeDoneLeaveTheDocumentAsItWas) {
    // A 1-bit picture whose 32-bit form would pass the size bound, and a long thin one whose turn or
    // enlargement would.
    Image wide;
    ASSERT_TRUE(wide.Create(1 << 17, 2049, 1));
    const Image thin = test::White(40000, 2);
    struct Case {
        const char* name;
        const Image* picture;
        std::function<bool(CTavrikDoc&)> run;
    } cases[] = {
        {"flatten", &wide, [](CTavrikDoc& d) { return d.Flatten(); }},
        {"save", &wide, [](CTavrikDoc& d) { return d.OnFileSave(); }},
        {"rotate", &thin,
         [](CTavrikDoc& d) {
             RotateProcessor turn(45);
             return d.ApplyProcessor(&turn);
         }},
        {"resize", &thin,
         [](CTavrikDoc& d) { return d.ApplyStep(std::make_unique<ResizeUndoStep>(40000, 40000, 1)); }},
        // Cut whitens a palette picture at 32 bits; a paste lands on a 32-bit copy.
        {"cut", &wide, [](CTavrikDoc& d) { return d.WhitenRect(QRect(0, 0, 10, 10)); }},
        {"paste", &wide, [](CTavrikDoc& d) { return d.PastePicture(test::White(8, 8), false); }},
        {"paste grown", &thin, [](CTavrikDoc& d) { return d.PastePicture(test::White(8, 40000), true); }},
    };
    for (const Case& c : cases) {
        ScriptedPrompts prompts;
        CTavrikDoc doc;
        doc.SetPrompts(&prompts);
        doc.SetPathName(File(std::string(c.name) + ".png"));
        doc.image = *c.picture;
        doc.objects.push_back(Box(0, 0, 4, 4));
        EXPECT_FALSE(c.run(doc)) << c.name;
        EXPECT_EQ(doc.undo.UndoCount(), 0u) << c.name;
        EXPECT_EQ(doc.modified, 0) << c.name;
        EXPECT_EQ(doc.objects.size(), 1u) << c.name;
        ASSERT_EQ(doc.image.Depth(), c.picture->Depth()) << c.name;
        ASSERT_EQ(doc.image.Width(), c.picture->Width()) << c.name;
        ASSERT_EQ(doc.image.Height(), c.picture->Height()) << c.name;
        EXPECT_EQ(std::memcmp(doc.image.Bits(), c.picture->Bits(), c.picture->PixelBytes()), 0) << c.name;
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(doc.PathName()))) << c.name;
        EXPECT_EQ(prompts.messages.size(), 1u) << c.name;  // the user is told
    }
}

TEST_F(DocumentTest, SignalsComeOnceTheDocumentHasSettled) {
    std::vector<std::string> events;
    QObject::connect(&doc_, &CTavrikDoc::updated, [&] {
        // What a window reads when it hears of a change must already be true.
        events.push_back("updated undo=" + std::to_string(doc_.undo.UndoCount()) +
                         " redo=" + std::to_string(doc_.undo.RedoCount()) +
                         " modified=" + std::to_string(doc_.modified));
    });
    QObject::connect(&doc_, &CTavrikDoc::modifiedChanged,
                     [&](bool on) { events.push_back(on ? "modified" : "saved"); });
    QObject::connect(&doc_, &CTavrikDoc::pathNameChanged, [&](const QString& path) {
        events.push_back("path " + QFileInfo(path).fileName().toStdString());
    });
    QObject::connect(&doc_, &CTavrikDoc::objectAdded, [&](OverlayObject* o) {
        events.push_back("added " + std::to_string(static_cast<HighlightObject*>(o)->colour));
    });
    QObject::connect(&doc_, &CTavrikDoc::objectRemoved, [&](OverlayObject* o) {
        events.push_back("removed " + std::to_string(static_cast<HighlightObject*>(o)->colour));
    });
    QObject::connect(&doc_, &CTavrikDoc::objectChanged, [&](OverlayObject* o) {
        events.push_back("changed " + std::to_string(static_cast<HighlightObject*>(o)->colour));
    });
    auto take = [&] { return std::exchange(events, {}); };
    using Events = std::vector<std::string>;

    // Save As: the path, then saved; a second save changes neither.
    prompts_.paths = {File("one.png")};
    EXPECT_EQ(doc_.SaveWithDialog(false), CTavrikDoc::SaveResult::kSaved);
    EXPECT_EQ(take(), (Events{"path one.png", "saved"}));
    EXPECT_EQ(doc_.SaveWithDialog(false), CTavrikDoc::SaveResult::kCancelled);
    prompts_.paths = {File("missing/two.png")};
    EXPECT_EQ(doc_.SaveWithDialog(true), CTavrikDoc::SaveResult::kFailed);
    EXPECT_EQ(prompts_.messages.size(), 1u);
    EXPECT_EQ(doc_.PathName(), File("one.png"));
    EXPECT_TRUE(take().empty());

    // A new object, a cancelled text dialog: no step remains and the document is as saved.
    OverlayObject* box = doc_.AddObject(Box(0, 0, 2, 2, 1));
    EXPECT_EQ(take(), (Events{"modified", "added 1", "updated undo=1 redo=0 modified=1"}));
    EXPECT_TRUE(doc_.CancelNewObject(box));
    EXPECT_EQ(take(), (Events{"removed 1", "saved", "updated undo=0 redo=0 modified=0"}));
    EXPECT_TRUE(doc_.objects.empty());

    // Two kept objects; moving one; deleting one clears the view's selection.
    doc_.AddObject(Box(0, 0, 2, 2, 2));
    OverlayObject* three = doc_.AddObject(Box(1, 1, 3, 3, 3));
    doc_.NoteObjectChanged(three);
    take();
    const int clears = view_.clears;
    EXPECT_TRUE(doc_.DeleteObject(three));
    EXPECT_EQ(take(), (Events{"removed 3", "updated undo=3 redo=0 modified=1"}));
    EXPECT_EQ(view_.clears, clears + 1);
    EXPECT_FALSE(doc_.CancelNewObject(three));  // gone already

    // Undo and redo announce the change after the step has moved and modified is set.
    ASSERT_TRUE(doc_.OnFileSave());
    take();
    doc_.OnEditUndo();
    EXPECT_EQ(take(), (Events{"modified", "updated undo=2 redo=1 modified=1"}));
    doc_.OnEditRedo();
    EXPECT_EQ(take(), (Events{"updated undo=3 redo=0 modified=1"}));

    // Flatten takes every object out and clears the selection too.
    EXPECT_TRUE(doc_.Flatten());
    EXPECT_EQ(take(), (Events{"removed 2", "updated undo=4 redo=0 modified=1"}));
    EXPECT_EQ(view_.clears, clears + 4);
}

TEST(UndoHistoryLimit, TrimsRedoFromTheBackThenUndoFromTheFront) {
    CTavrikDoc doc;
    doc.SetNewImage(test::White(1, 1));
    for (int i = 1; i <= 5; ++i) {
        FillColourProcessor fill(ColourRef(i * 10));
        doc.ApplyProcessor(&fill);
    }
    doc.OnEditUndo();
    doc.OnEditUndo();  // undo: steps 1-3, redo: 4, 5
    doc.undo.SetLimit(4);
    EXPECT_EQ(doc.undo.UndoCount(), 3u);
    EXPECT_EQ(doc.undo.RedoCount(), 1u);
    doc.OnEditRedo();  // step 4 is the one left
    EXPECT_EQ(At(doc.image, 0, 0), Colour(40));
    doc.undo.SetLimit(2);
    EXPECT_EQ(doc.undo.UndoCount(), 2u);
    EXPECT_EQ(doc.undo.RedoCount(), 0u);
    doc.OnEditUndo();
    doc.OnEditUndo();
    EXPECT_EQ(At(doc.image, 0, 0), Colour(20));  // steps 3 and 4 remained
    doc.undo.SetLimit(-3);
    EXPECT_EQ(doc.undo.Limit(), 2);
    doc.undo.SetLimit(0);
    EXPECT_FALSE(doc.RecordState(doc.image));
    EXPECT_EQ(doc.undo.UndoCount() + doc.undo.RedoCount(), 0u);
}

TEST_F(DocumentTest, ModifiedFollowsEveryUserChangeAndClearsOnSave) {
    EXPECT_EQ(doc_.modified, 1);  // a new image
    ASSERT_TRUE(doc_.OnSaveDocument(File("a.png")));
    EXPECT_EQ(doc_.modified, 0);
    doc_.RecordState(doc_.image);
    EXPECT_EQ(doc_.modified, 1);
    doc_.OnSaveDocument(File("a.png"));
    doc_.OnEditUndo();
    EXPECT_EQ(doc_.modified, 1);
    doc_.OnSaveDocument(File("a.png"));
    doc_.OnEditRedo();
    EXPECT_EQ(doc_.modified, 1);
    doc_.OnSaveDocument(File("a.png"));
    doc_.RecordObjects(doc_.objects);  // a drag or a restyle
    EXPECT_EQ(doc_.modified, 1);
    doc_.OnSaveDocument(File("a.png"));
    doc_.objects.push_back(Box(0, 0, 2, 2));
    doc_.objects.push_back(Box(0, 0, 2, 2));
    doc_.SendToBack(doc_.objects.back().get());
    EXPECT_EQ(doc_.modified, 1);
    // Undo with nothing to undo changes nothing.
    doc_.OnSaveDocument(File("a.png"));
    CTavrikDoc fresh;
    EXPECT_EQ(fresh.modified, 0);
    fresh.OnEditUndo();
    EXPECT_EQ(fresh.modified, 0);
}

TEST_F(DocumentTest, OpenedFileClosesWithoutAPrompt) {
    ASSERT_TRUE(doc_.OnSaveDocument(File("pic.bmp")));
    CTavrikDoc opened;
    opened.SetPrompts(&prompts_);
    ASSERT_TRUE(opened.OnOpenDocument(File("pic.bmp")));
    EXPECT_EQ(opened.modified, 0);
    EXPECT_EQ(opened.image.Depth(), 32);
    EXPECT_EQ(opened.image.Width(), 8);
    EXPECT_EQ(opened.PathName(), File("pic.bmp"));
    EXPECT_EQ(opened.Title(), QStringLiteral("pic.bmp"));
    EXPECT_TRUE(opened.OnCloseDocument());
    EXPECT_EQ(prompts_.questions, 0);
}

TEST_F(DocumentTest, OpeningMissingOrUndecodableFiles) {
    CTavrikDoc doc;
    doc.SetPrompts(&prompts_);
    EXPECT_FALSE(doc.OnOpenDocument(File("missing.png")));
    ASSERT_EQ(prompts_.messages.size(), 1u);
    EXPECT_NE(prompts_.messages[0].find(File("missing.png")), std::string::npos);

    EXPECT_FALSE(doc.OnOpenDocument(dir_.path().toStdString()));  // a folder is no picture file
    EXPECT_EQ(prompts_.messages.size(), 2u);

    // Neither a file that does not decode nor a FIFO (which must not block) opens as a document.
    std::ofstream(File("notes.png")) << "not a picture";
    ASSERT_EQ(::mkfifo(File("pipe.png").c_str(), 0600), 0);
    for (const char* name : {"notes.png", "pipe.png"}) {
        CTavrikDoc other;
        other.SetPrompts(&prompts_);
        const size_t before = prompts_.messages.size();
        EXPECT_FALSE(other.OnOpenDocument(File(name))) << name;
        EXPECT_FALSE(other.image.IsValid()) << name;
        EXPECT_EQ(prompts_.messages.size(), before + 1) << name;
    }
}

TEST_F(DocumentTest, SavingThroughEveryExtensionAndReadingBack) {
    // A red box over the white picture: saved files hold it, the document keeps it as an object.
    doc_.objects.push_back(Box(2, 1, 6, 4));
    const char* tmp = std::getenv("TMPDIR");
    const std::string savedTmp = tmp ? tmp : "";
    QTemporaryDir privateTmp;
    setenv("TMPDIR", privateTmp.path().toLocal8Bit().constData(), 1);

    struct Case {
        const char* name;
        bool ok;
        bool exact;
    } cases[] = {
        {"p.bmp", true, true},   {"p.BMP", true, true},         {"p.png", true, true},
        {"p.gif", true, true},   {"p.tif", true, true},         {"p.tiff", true, true},
        {"p.tga", true, true},   {"p.pcx", true, true},         {"p.Pcx", true, true},
        {"p.PCX", true, true},   {"p.jpg", true, false},        {"p.jpeg", true, false},
        {"p.JPG", true, false},  {"p.psd", false, false},       {"p.ico", false, false},
        {"p.xpm", false, false}, {"noextension", false, false}, {"p.txt", false, false},
    };
    for (const Case& c : cases) {
        const std::string path = File(c.name);
        EXPECT_EQ(doc_.OnSaveDocument(path), c.ok) << c.name;
        if (c.ok) {
            EXPECT_NE(dynamic_cast<FreeImageCodecFactory*>(&CurrentFactory()), nullptr) << c.name;
        }
        if (!c.ok) {
            EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(path))) << c.name;
            continue;
        }
        CTavrikDoc back;
        ASSERT_TRUE(back.OnOpenDocument(path)) << c.name;
        ASSERT_EQ(back.image.Width(), 8) << c.name;
        ASSERT_EQ(back.image.Height(), 6) << c.name;
        Image shown = back.image;  // a PNG brings its objects back
        ASSERT_TRUE(RenderAll(back.objects, shown)) << c.name;
        const Bgra inside = At(shown, 3, 2), outside = At(shown, 7, 5);
        if (c.exact) {
            EXPECT_EQ(inside, (Bgra{0, 0, 255, 255})) << c.name;
            EXPECT_EQ(outside, (Bgra{255, 255, 255, 255})) << c.name;
        } else {
            EXPECT_GT(inside[2], 200) << c.name;
            EXPECT_LT(inside[0], 80) << c.name;
            EXPECT_GT(outside[0], 200) << c.name;
        }
    }
    EXPECT_EQ(doc_.objects.size(), 1u);
    EXPECT_EQ(At(doc_.image, 3, 2), (Bgra{255, 255, 255, 255}));
    // The PCX route's temporary BMP files are gone.
    EXPECT_TRUE(QDir(privateTmp.path()).isEmpty());
    setenv("TMPDIR", savedTmp.c_str(), 1);
    if (savedTmp.empty()) unsetenv("TMPDIR");
}

TEST_F(DocumentTest, ObjectsAreSavedWhenThePictureIs24Bit) {
    ASSERT_TRUE(doc_.image.ConvertDepth(24));
    doc_.objects.push_back(Box(2, 1, 6, 4));
    ASSERT_TRUE(doc_.OnSaveDocument(File("p.png")));
    EXPECT_EQ(doc_.image.Depth(), 24);
    CTavrikDoc back;
    ASSERT_TRUE(back.OnOpenDocument(File("p.png")));
    // Reopened here, the box is an object again over the white picture; drawn, it shows as saved.
    ASSERT_EQ(back.objects.size(), 1u);
    Image shown = back.image;
    ASSERT_TRUE(RenderAll(back.objects, shown));
    EXPECT_EQ(At(shown, 3, 2), (Bgra{0, 0, 255, 255}));
}

// A PNG keeps its objects beside the flattened pixels: reopened here every object is as it was and can be
// moved off the picture it covered; any other reader sees the flattened picture; a redaction is burnt in
// and what it hid is nowhere in the file. A chunk that does not fit the pixels is ignored.
TEST_F(DocumentTest, ObjectsComeBackEditableFromAPngAndNeverTheRedactedPixels) {
    Image picture = test::White(120, 80);
    for (int y = 30; y < 50; ++y)
        for (int x = 60; x < 100; ++x)
            picture.PixelAddress(x, y)[1] = static_cast<uint8_t>(x * 2 + y);  // a secret
    ASSERT_TRUE(doc_.SetNewImage(picture));
    auto line = std::make_unique<LineObject>();
    line->x1 = 5, line->y1 = 6, line->x2 = 50, line->y2 = 40, line->width = 3, line->colour = 0x00FF00;
    auto text = std::make_unique<TextObject>();
    text->text = QStringLiteral("Ünïcode \"quoted\"\n2nd line");
    text->left = 10, text->top = 50, text->right = 70, text->bottom = 75, text->bold = 1;
    auto counter = std::make_unique<CounterObject>();
    counter->number = 7, counter->left = 80, counter->top = 5, counter->right = 108, counter->bottom = 33;
    auto pen = std::make_unique<PenObject>();
    for (QPoint p : {QPoint(2, 70), QPoint(20, 60), QPoint(40, 78)}) pen->Add(p);
    pen->marker = 1, pen->width = 12, pen->transparency = 50;
    auto cover = std::make_unique<RedactObject>();
    cover->left = 60, cover->top = 30, cover->right = 100, cover->bottom = 50,
    cover->method = kRedactPixelate;
    doc_.objects.push_back(std::move(line));
    doc_.objects.push_back(std::move(text));
    doc_.objects.push_back(std::move(cover));
    doc_.objects.push_back(std::move(counter));
    doc_.objects.push_back(std::move(pen));
    doc_.objects.push_back(Box(30, 10, 45, 20));
    Image flat = doc_.image;
    ASSERT_TRUE(RenderAll(doc_.objects, flat));
    ObjectList covers;
    for (const auto& object : doc_.objects)
        if (object->kind == kRedactObject) covers.push_back(CloneObject(*object));
    Image coveredOnly = doc_.image;
    ASSERT_TRUE(RenderAll(covers, coveredOnly));
    const std::string path = File("kept.png");
    ASSERT_TRUE(doc_.OnSaveDocument(path));

    // Another reader: the flattened picture, pixel for pixel.
    Image other;
    ASSERT_TRUE(LoadFirstFrame(FreeImageCodecFactory(), path, other));
    ASSERT_TRUE(other.ConvertDepth(32));
    for (int y = 0; y < 80; ++y) ASSERT_EQ(std::memcmp(other.Row(y), flat.Row(y), 120 * 4), 0) << "row " << y;

    CTavrikDoc back;
    ASSERT_TRUE(back.OnOpenDocument(path));
    ASSERT_EQ(back.objects.size(), 5u);  // all but the redaction, in their order
    auto was = doc_.objects.begin();
    for (const auto& object : back.objects) {
        if ((*was)->kind == kRedactObject) ++was;
        EXPECT_TRUE(SameObject(*object, **was)) << "kind " << object->kind;
        ++was;
    }
    // Beneath the objects: the picture with the cover burnt in, the secret nowhere.
    for (int y = 0; y < 80; ++y)
        ASSERT_EQ(std::memcmp(back.image.Row(y), coveredOnly.Row(y), 120 * 4), 0) << y;
    EXPECT_NE(At(back.image, 70, 40), At(picture, 70, 40));
    EXPECT_EQ(At(back.image, 8, 8), (Bgra{255, 255, 255, 255}));  // under the line: the white picture
    Image again = back.image;
    ASSERT_TRUE(RenderAll(back.objects, again));
    for (int y = 0; y < 80; ++y) ASSERT_EQ(std::memcmp(again.Row(y), flat.Row(y), 120 * 4), 0) << "row " << y;

    // The same pixels with the chunk of another picture, or a damaged chunk: the flat picture, no objects.
    const std::string chunk = MakeObjectChunk(back.image, flat, back.objects);
    ASSERT_FALSE(chunk.empty());
    Image elsewhere = flat;
    elsewhere.PixelAddress(0, 0)[0] ^= 1;
    const std::string damaged[] = {chunk.substr(0, chunk.size() / 2),
                                   std::string(chunk).replace(40, 5, "]]]]]"),
                                   MakeObjectChunk(back.image, elsewhere, back.objects)};
    for (const std::string& bad : damaged) {
        Image beneath;
        ObjectList objects;
        EXPECT_FALSE(ReadObjectChunk(bad, flat, beneath, objects));
        EXPECT_TRUE(objects.empty());
    }
    // An edited copy: the pixels changed by another program, the chunk kept.
    std::string kept;
    ASSERT_TRUE(ReadPngChunk(path, kObjectChunkType, kept, kMaxObjectChunk));
    ASSERT_TRUE(CTavrikDoc::SaveImageFile(elsewhere, File("edited.png")));
    ASSERT_TRUE(AddPngChunk(File("edited.png"), kObjectChunkType, kept));
    CTavrikDoc edited;
    ASSERT_TRUE(edited.OnOpenDocument(File("edited.png")));
    EXPECT_TRUE(edited.objects.empty());
    EXPECT_EQ(At(edited.image, 0, 0), At(elsewhere, 0, 0));
}

TEST_F(DocumentTest, SaveWithoutAPathAsksAndFailuresAreReportedByName) {
    prompts_.paths = {std::nullopt};
    EXPECT_FALSE(doc_.OnFileSave());
    EXPECT_EQ(prompts_.dialogNames, (std::vector<std::string>{"Capture1"}));
    EXPECT_TRUE(prompts_.messages.empty());

    prompts_.paths = {File("shot.png")};
    EXPECT_TRUE(doc_.OnFileSave());
    EXPECT_EQ(doc_.PathName(), File("shot.png"));
    EXPECT_EQ(doc_.Title(), QStringLiteral("shot.png"));
    EXPECT_EQ(doc_.modified, 0);

    doc_.SetModified(1);
    EXPECT_TRUE(doc_.OnFileSave());  // no dialog this time
    EXPECT_EQ(prompts_.dialogNames.size(), 2u);

    const std::string bad = File("no/such/folder/shot.png");
    prompts_.paths = {bad};
    doc_.SetModified(1);
    EXPECT_FALSE(doc_.OnFileSaveAs());
    ASSERT_EQ(prompts_.messages.size(), 1u);
    EXPECT_NE(prompts_.messages[0].find(bad), std::string::npos);
    EXPECT_EQ(doc_.PathName(), bad);  // Save As keeps the name it was given
    EXPECT_EQ(doc_.modified, 1);
    EXPECT_FALSE(doc_.OnFileSave());
    EXPECT_EQ(prompts_.messages.size(), 2u);
}

TEST_F(DocumentTest, ClosePromptAnswers) {
    using Answer = DocumentPrompts::Answer;
    struct Case {
        const char* name;
        Answer answer;
        std::optional<std::string> path;
        bool closes;
        bool saved;
        size_t messages;
    } cases[] = {
        {"cancel keeps it open", Answer::kCancel, std::nullopt, false, false, 0},
        {"no discards", Answer::kNo, std::nullopt, true, false, 0},
        {"yes then cancel in the dialog", Answer::kYes, std::nullopt, false, false, 0},
        {"yes and saved", Answer::kYes, "closed.png", true, true, 0},
        {"yes but the save fails", Answer::kYes, "missing/closed.png", false, false, 1},
    };
    for (const Case& c : cases) {
        ScriptedPrompts prompts;
        prompts.answer = c.answer;
        std::string path;
        if (c.path) {
            path = File(*c.path);
            prompts.paths = {path};
        }
        CTavrikDoc doc;
        doc.SetPrompts(&prompts);
        doc.SetTitle(QStringLiteral("Capture2"));
        doc.SetNewImage(test::White(3, 3));
        EXPECT_EQ(doc.OnCloseDocument(), c.closes) << c.name;
        EXPECT_EQ(prompts.questions, 1) << c.name;
        EXPECT_EQ(prompts.messages.size(), c.messages) << c.name;
        if (c.path) {
            EXPECT_EQ(QFileInfo::exists(QString::fromStdString(path)), c.saved) << c.name;
        }
        EXPECT_TRUE(doc.PathName().empty()) << c.name;  // saving from the prompt does not rename
    }
    // Unchanged documents close without a question.
    ScriptedPrompts prompts;
    CTavrikDoc doc;
    doc.SetPrompts(&prompts);
    EXPECT_TRUE(doc.OnCloseDocument());
    EXPECT_EQ(prompts.questions, 0);
    // Nobody to ask: a changed document stays open.
    CTavrikDoc alone;
    alone.SetNewImage(test::White(2, 2));
    EXPECT_FALSE(alone.OnCloseDocument());
}

}  // namespace
}  // namespace glimmora

namespace glimmora {
namespace {

// Stands in for the dialogs: Rotate turns by 30 degrees, Resize doubles; both answer OK.
class AnsweringDialogs : public ImageDialogs {
  public:
    bool RunAdjustDialog(CTavrikDoc& doc, int, QWidget*) override {
        RotateProcessor rotate(30);
        return doc.ApplyProcessor(&rotate);
    }
    bool RunResizeDialog(int& width, int& height, int& quality, QWidget*) override {
        width *= 2, height *= 2, quality = 0;
        return true;
    }
};

// Commands that move the pixels must not leave a redaction behind over other pixels: the saved
// file holds no pixel of what it covered.
TEST_F(DocumentTest, CommandsThatMoveThePictureNeverUncoverARedaction) {
    const uint8_t secret[4] = {170, 30, 200, 255};
    for (int id : {image_cmd::kRotate90, image_cmd::kRotate270, image_cmd::kFlipHorizontal,
                   image_cmd::kFlipVertical, image_cmd::kResize, image_cmd::kRotate}) {
        SCOPED_TRACE(id);
        doc_.SetNewImage(test::White(60, 40));
        for (int y = 5; y < 15; ++y)
            for (int x = 5; x < 20; ++x) std::memcpy(doc_.image.PixelAddress(x, y), secret, 4);
        auto cover = std::make_unique<RedactObject>();
        cover->left = 3, cover->top = 3, cover->right = 22, cover->bottom = 17;
        doc_.objects.push_back(std::move(cover));
        AnsweringDialogs dialogs;
        RunImageCommand(doc_, id, &dialogs, nullptr);
        ASSERT_TRUE(doc_.OnSaveDocument(File("moved.bmp")));
        Image saved;
        ASSERT_TRUE(saved.Load(File("moved.bmp")));
        ASSERT_TRUE(saved.ConvertDepth(32));
        int seen = 0;
        for (int y = 0; y < saved.Height(); ++y)
            for (int x = 0; x < saved.Width(); ++x) {
                const uint8_t* p = saved.PixelAddress(x, y);
                seen += std::abs(p[0] - secret[0]) < 40 && std::abs(p[1] - secret[1]) < 40 &&
                        std::abs(p[2] - secret[2]) < 40;
            }
        EXPECT_EQ(seen, 0);
        // One undo takes back the command, the next brings the cover back as an object.
        doc_.OnEditUndo();
        doc_.OnEditUndo();
        EXPECT_EQ(doc_.objects.size(), 1u);
        doc_.objects.clear();
    }
}

}  // namespace
}  // namespace glimmora
