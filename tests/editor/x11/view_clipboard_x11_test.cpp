// Copy and paste through the real X clipboard, with xclip as the other program.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>

#include "editor/tavrik_doc.h"
#include "editor/tavrik_view.h"
#include "x11_test_support.h"

namespace glimmora {
namespace {

using testing::PatternPicture;
using testing::PatternRgb;
using testing::WaitUntil;

struct AnswerYes : DocumentPrompts {
    Answer AskSaveImage() override { return Answer::kCancel; }
    std::optional<std::string> AskSavePath(const std::string&) override { return std::nullopt; }
    void ShowMessage(const std::string&) override {}
    Answer AskExpandForPaste() override {
        ++asked;
        return Answer::kYes;
    }
    int asked = 0;
};

TEST(ViewClipboardX11, CopyGoesOutAsPngAndAPictureFromAnotherProgramPastes) {
    REQUIRE_DISPLAY();
    CTavrikDoc doc;
    AnswerYes prompts;
    doc.SetPrompts(&prompts);
    doc.image = PatternPicture(64, 48);
    CTavrikView view(&doc);
    view.trackImageRect = QRect(8, 4, 40, 30);
    view.OnEditCopy();

    // Another program reads our copy as PNG while our event loop answers it.
    QProcess reader;
    reader.start("xclip", {"-selection", "clipboard", "-t", "image/png", "-o"});
    ASSERT_TRUE(reader.waitForStarted());
    ASSERT_TRUE(WaitUntil([&] { return reader.state() == QProcess::NotRunning; }));
    ASSERT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().toStdString();
    QImage copied;
    ASSERT_TRUE(copied.loadFromData(reader.readAllStandardOutput(), "PNG"));
    ASSERT_EQ(copied.size(), QSize(40, 30));
    int wrong = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) wrong += (copied.pixel(x, y) | 0xFF000000u) != PatternRgb(x + 8, y + 4);
    EXPECT_EQ(wrong, 0);

    // Now it offers a larger PNG of its own; the paste grows the picture.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage offered(100, 80, QImage::Format_RGB32);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 100; ++x) offered.setPixel(x, y, PatternRgb(x + 200, y + 100));
    const QString path = dir.filePath("offer.png");
    ASSERT_TRUE(offered.save(path, "PNG"));
    QProcess owner;
    owner.start("xclip", {"-quiet", "-selection", "clipboard", "-t", "image/png", "-i", path});
    ASSERT_TRUE(owner.waitForStarted());
    QClipboard* clipboard = QGuiApplication::clipboard();
    ASSERT_TRUE(WaitUntil([&] {
        const QMimeData* data = clipboard->mimeData();
        return !clipboard->ownsClipboard() && data && data->hasFormat("image/png");
    }));
    view.OnEditPaste();
    owner.kill();
    owner.waitForFinished();

    EXPECT_EQ(prompts.asked, 1);
    ASSERT_EQ(doc.image.Width(), 100);
    ASSERT_EQ(doc.image.Height(), 80);
    wrong = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 100; ++x) {
            const uint8_t* p = doc.image.PixelAddress(x, y);
            wrong += qRgb(p[2], p[1], p[0]) != PatternRgb(x + 200, y + 100);
        }
    EXPECT_EQ(wrong, 0);
    doc.OnEditUndo();
    EXPECT_EQ(doc.image.Width(), 64);
}

}  // namespace
}  // namespace glimmora
