// The image commands with their dialogs: the routing of every id (undo steps, depth afterwards, the
// dialog's title), the adjustment dialogs' thumbnail and whole-picture preview, the resize rules and
// the text dialog's opening and OK.
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSlider>
#include <QTextEdit>
#include <QtTest>
#include <cstring>

#include "editor/image_commands.h"
#include "editor/tavrik_doc.h"
#include "image/processors/colour.h"
#include "image/processors/filters.h"
#include "ui/adjust_dlg.h"
#include "ui/colour_picker.h"
#include "ui/edit_txt_dlg.h"
#include "ui/font_combo.h"
#include "ui/image_dialogs.h"
#include "ui/resize_dlg.h"
#include "ui/text_result_dlg.h"
#include "ui_tests.h"

namespace glimmora::test {

namespace {

// Mid-range colours (so levels, noise and the rest all change them), opaque, 32 bits.
Image Gradient(int w, int h) {
    Image image;
    image.Create(w, h, 32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = image.PixelAddress(x, y);
            p[0] = static_cast<uint8_t>(60 + (x * 7) % 120);
            p[1] = static_cast<uint8_t>(50 + (y * 5) % 130);
            p[2] = static_cast<uint8_t>(70 + ((x + y) * 3) % 110);
            p[3] = 255;
        }
    return image;
}

bool Same(const Image& a, const Image& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() && a.Depth() == b.Depth() &&
           a.IsValid() == b.IsValid() &&
           (!a.IsValid() || std::memcmp(a.Bits(), b.Bits(), a.PixelBytes()) == 0);
}

Image At24(Image image) {
    if (!image.ConvertDepth(24)) return {};
    return image;
}

// Answers the next modal dialog: OK or Cancel, after prepare has set it up; records its title.
void Answer(bool ok, QString* title, std::function<void(QDialog*)> prepare = {}) {
    AnswerModal<QDialog>([ok, title, prepare](QDialog* dialog) {
        if (title) *title = dialog->windowTitle();
        if (prepare) prepare(dialog);
        if (ok)
            dialog->accept();
        else
            dialog->reject();
    });
}

}  // namespace

class DialogTest : public QObject {
    Q_OBJECT
  private slots:
    void everyImageCommand() {
        enum Dialog { kNone, kOk, kCancel };
        struct Row {
            int id;
            Dialog dialog;
            const char* title;
            int steps;  // undo steps recorded
            int depth;  // afterwards
            bool changed;
            const char* width = "200";  // typed into Resize
        };
        const Row rows[] = {
            {20002, kOk, "Rotate", 1, 24, true},
            {20002, kCancel, "Rotate", 0, 32, false},
            {20004, kNone, nullptr, 1, 24, true},
            {20005, kNone, nullptr, 1, 24, true},
            {20006, kNone, nullptr, 1, 24, true},
            {20007, kNone, nullptr, 1, 24, true},
            {20009, kOk, "Resize...", 1, 32, true},
            {20009, kCancel, "Resize...", 0, 32, false},
            // Nothing to resize: no step, nothing changed.
            {20009, kOk, "Resize...", 0, 32, false, "400"},
            {20009, kOk, "Resize...", 0, 32, false, "0"},
            {20010, kOk, "Brightness/Contrast", 2, 32, true},
            {20010, kCancel, "Brightness/Contrast", 0, 32, false},
            {20012, kOk, "Hue/Saturation", 1, 24, true},
            {20012, kCancel, "Hue/Saturation", 0, 32, false},
            {20014, kOk, "Color Tone", 1, 24, true},
            {20016, kOk, "RGB Value", 1, 24, true},
            {20016, kCancel, "RGB Value", 0, 32, false},
            {20017, kOk, "Color level", 1, 24, true},
            {20019, kNone, nullptr, 1, 24, true},
            {20020, kNone, nullptr, 1, 24, true},
            {20033, kOk, "Noisy", 1, 24, true},
            {20034, kOk, "Blot", 1, 24, true},
            {20035, kOk, "Emboss", 1, 24, true},
            {20036, kOk, "Oil Paint", 1, 24, true},
            {20037, kOk, "Splash", 1, 24, true},
            {20038, kOk, "Posterize", 1, 24, true},
            {20040, kOk, "Mosaic", 1, 24, true},
            {20040, kCancel, "Mosaic", 0, 32, false},
            {20041, kNone, nullptr, 1, 24, true},
            {20042, kNone, nullptr, 1, 24, true},
            {20050, kOk, "3D Grid", 1, 24, true},
            {20051, kNone, nullptr, 1, 24, true},
            {20000, kNone, nullptr, 0, 24, false},
            {20100, kNone, nullptr, 0, 24, false},
        };
        ImageDialogRunner dialogs;
        const Image original = Gradient(400, 300);
        for (const Row& row : rows) {
            const QByteArray what =
                QByteArray::number(row.id) + (row.dialog == kCancel ? " cancelled " : " ") + row.width;
            CTavrikDoc doc;
            doc.image = original;
            QString title;
            if (row.dialog != kNone) {
                Answer(row.dialog == kOk, &title, [&row](QDialog* d) {
                    // Values that change the picture where the start values would not.
                    if (auto* resize = qobject_cast<CResizeDlg*>(d)) resize->WidthEdit()->setText(row.width);
                    if (auto* adjust = qobject_cast<PreviewDialogBase*>(d)) {
                        const auto& sliders = adjust->Sliders();
                        if (!sliders.empty())
                            sliders[0]->setValue(sliders[0]->value() +
                                                 (sliders[0]->value() < sliders[0]->maximum() ? 1 : -1) * 3);
                    }
                });
            }
            RunImageCommand(doc, row.id, &dialogs, nullptr);
            if (row.title) QVERIFY2(title == row.title, what + " title " + title.toUtf8());
            QVERIFY2(doc.undo.UndoCount() == static_cast<size_t>(row.steps), what);
            QVERIFY2(doc.image.Depth() == row.depth,
                     what + " depth " + QByteArray::number(doc.image.Depth()));
            QVERIFY2(Same(At24(doc.image), At24(original)) != row.changed, what);
            // Nothing done is nothing changed, alpha included.
            if (!row.changed) QVERIFY2(Same(doc.image, original) == (row.depth == 32), what);
            if (row.steps > 0) {
                // Undo gives back the picture as it was.
                for (int i = 0; i < row.steps; ++i) doc.OnEditUndo();
                QVERIFY2(Same(doc.image, original), what + " undo");
            }
        }
        // The resize kept the proportions.
        CTavrikDoc doc;
        doc.image = original;
        Answer(true, nullptr, [](QDialog* d) { qobject_cast<CResizeDlg*>(d)->WidthEdit()->setText("200"); });
        RunImageCommand(doc, image_cmd::kResize, &dialogs, nullptr);
        QCOMPARE(doc.image.Width(), 200);
        QCOMPARE(doc.image.Height(), 150);
    }

    void thumbnailShrinksToTheFrame() {
        struct Row {
            int w, h;
            double zoom;
            int tw, th;
        };
        // The frame is 200 x 150.
        const Row rows[] = {{1000, 500, 0.2, 200, 100}, {50, 40, 1.0, 50, 40}, {300, 600, 0.25, 75, 150}};
        for (const Row& row : rows) {
            CTavrikDoc doc;
            doc.image = Gradient(row.w, row.h);
            AdjustDlg dialog(&doc, adjust_template::kHueSaturation);
            QCOMPARE(dialog.Zoom(), row.zoom);
            QCOMPARE(dialog.WorkingCopy().Width(), row.tw);
            QCOMPARE(dialog.WorkingCopy().Height(), row.th);
            QCOMPARE(dialog.WorkingCopy().Depth(), 24);
            // Centred in the frame on the frame colour, outlined in grey.
            const QImage shot = dialog.FrameWidget()->grab().toImage();
            const int left = 1 + (200 - row.tw) / 2, top = 1 + (150 - row.th) / 2;
            QCOMPARE(QColor(shot.pixel(0, 0)), QColor(192, 192, 192));
            if (left > 1) QCOMPARE(QColor(shot.pixel(left - 1, 75)), QColor(191, 203, 251));
            const uint8_t* p = dialog.PreviewImage().PixelAddress(0, 0);
            QCOMPARE(QColor(shot.pixel(left, top)), QColor(p[2], p[1], p[0]));
        }
    }

    void channelAndToneFollowTheThumbnail() {
        CTavrikDoc doc;
        doc.image = Gradient(120, 90);
        AdjustDlg levels(&doc, adjust_template::kColourLevel);
        const Image before = levels.PreviewImage();
        levels.ChannelButtons()[1]->click();  // "R"
        levels.Sliders()[0]->setValue(100);   // "Down"
        const Image& after = levels.PreviewImage();
        bool redChanged = false;
        for (int y = 0; y < 90; ++y)
            for (int x = 0; x < 120; ++x) {
                const uint8_t* a = before.PixelAddress(x, y);
                const uint8_t* b = after.PixelAddress(x, y);
                QCOMPARE(a[0], b[0]);
                QCOMPARE(a[1], b[1]);
                redChanged |= a[2] != b[2];
            }
        QVERIFY(redChanged);

        AdjustDlg tone(&doc, adjust_template::kColourTone);
        ToneBar* bar = tone.ColourBar();
        QVERIFY(bar);
        const Image start = tone.PreviewImage();
        SendMouse(bar, QEvent::MouseButtonPress, QPoint(100, 10), Qt::LeftButton);
        const QColor picked = bar->ColourAt(QPoint(100, 10));
        QCOMPARE(tone.ToneColour()[2], picked.red());
        QCOMPARE(tone.ToneColour()[0], picked.blue());
        QVERIFY(!Same(start, tone.PreviewImage()));
        const Image atPress = tone.PreviewImage();
        // A move outside the bar keeps the last colour.
        QMouseEvent outside(QEvent::MouseMove, QPointF(-30, 10), QPointF(bar->mapToGlobal(QPoint(-30, 10))),
                            Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(bar, &outside);
        QCOMPARE(tone.ToneColour()[2], picked.red());
        QVERIFY(Same(atPress, tone.PreviewImage()));
    }

    void previewIsTakenBackOrAppliedOnce() {
        const Image original = Gradient(640, 480);
        for (bool ok : {false, true}) {
            CTavrikDoc doc;
            doc.image = original;
            AdjustDlg dialog(&doc, adjust_template::kRgbValue);
            dialog.PreviewBox()->setChecked(true);
            for (int v : {10, 20, 30}) dialog.Sliders()[0]->setValue(v);
            QTRY_VERIFY(!dialog.PreviewPending() && !Same(doc.image, original));
            // The preview shows the newest value.
            RgbOffsetProcessor newest(30, 0, 0);
            Image expected = original;
            QVERIFY(RunProcessor(expected, newest, nullptr));
            QVERIFY(Same(doc.image, expected));
            if (!ok) {
                dialog.reject();
                QVERIFY(Same(doc.image, original));
                QCOMPARE(doc.undo.UndoCount(), size_t{0});
            } else {
                dialog.accept();
                QVERIFY(Same(doc.image, At24(expected)));
                QCOMPARE(doc.undo.UndoCount(), size_t{1});
                doc.OnEditUndo();
                QVERIFY(Same(doc.image, original));
            }
        }
    }

    // Oil Paint, Mosaic and Splash at 400 x 300 (thumbnail at half size): the thumbnail runs on half the
    // size, the preview and OK on the slider's value itself.
    void sizeFiltersTakeTheSlidersValue() {
        const Image original = Gradient(400, 300);
        struct Row {
            int templateId, value;
            std::function<std::unique_ptr<PixelProcessor>(int)> make;
        };
        const Row rows[] = {
            {adjust_template::kOilPaint, 8, [](int v) { return std::make_unique<OilPaintProcessor>(v); }},
            {adjust_template::kMosaic, 30, [](int v) { return std::make_unique<MosaicProcessor>(v); }},
        };
        for (const Row& row : rows) {
            CTavrikDoc doc;
            doc.image = original;
            AdjustDlg dialog(&doc, row.templateId);
            QCOMPARE(dialog.Zoom(), 0.5);
            dialog.PreviewBox()->setChecked(true);
            dialog.Sliders()[0]->setValue(row.value);
            Image expected = original;
            QVERIFY(RunProcessor(expected, *row.make(row.value), nullptr));
            Image thumbnail = dialog.WorkingCopy();
            QVERIFY(thumbnail.ConvertDepth(32));
            QVERIFY(RunProcessor(thumbnail, *row.make(row.value / 2), nullptr));
            QVERIFY(Same(dialog.PreviewImage(), At24(thumbnail)));
            QTRY_VERIFY(!dialog.PreviewPending() && !Same(doc.image, original));
            QVERIFY(Same(At24(doc.image), At24(expected)));
            dialog.accept();
            QVERIFY(Same(doc.image, At24(expected)));
        }

        // Splash is random: how far pixels travel shows the spread used.
        Image coded;
        coded.Create(400, 300, 32);
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 400; ++x) {
                uint8_t* p = coded.PixelAddress(x, y);
                p[0] = static_cast<uint8_t>(x & 0xFF);
                p[1] = static_cast<uint8_t>(x >> 8);
                p[2] = static_cast<uint8_t>(y);
                p[3] = 255;
            }
        CTavrikDoc doc;
        doc.image = coded;
        AdjustDlg splash(&doc, adjust_template::kSplash);
        splash.Sliders()[0]->setValue(40);
        splash.accept();
        int farthest = 0;
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 400; ++x) {
                const uint8_t* p = doc.image.PixelAddress(x, y);
                farthest = std::max(farthest, std::abs((p[0] | p[1] << 8) - x));
            }
        QVERIFY2(farthest > 10 && farthest <= 20, QByteArray::number(farthest));
    }

    void everyControlIsNamed() {
        CTavrikDoc doc;
        doc.image = Gradient(64, 48);
        std::vector<std::unique_ptr<QDialog>> all;
        for (int id : {172, 173, 174, 190, 191, 192, 193, 194, 195, 196, 197, 200, 201})
            all.push_back(std::make_unique<AdjustDlg>(&doc, id));
        all.push_back(std::make_unique<CBrightConDlg>(&doc));
        all.push_back(std::make_unique<CResizeDlg>(64, 48));
        TextObject text;
        all.push_back(std::make_unique<CEditTxtDlg>(text, false));
        for (auto& dialog : all) {
            for (QWidget* w : dialog->findChildren<QWidget*>()) {
                if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QSlider*>(w) ||
                    qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) ||
                    qobject_cast<QTextEdit*>(w)) {
                    if (qobject_cast<QLineEdit*>(w) && qobject_cast<QComboBox*>(w->parentWidget())) continue;
                    QVERIFY2(!w->accessibleName().isEmpty(),
                             qPrintable(dialog->windowTitle() + ": " + w->metaObject()->className()));
                }
            }
            // Sliders take the label beside them.
            for (QLabel* label : dialog->findChildren<QLabel*>())
                if (auto* slider = qobject_cast<QSlider*>(label->buddy()))
                    QCOMPARE(slider->accessibleName(), label->text());
        }
    }

    void resizeKeepsTheAspect() {
        struct Row {
            bool keep;
            const char* field;  // "w" or "h"
            const char* typed;
            int width, height;  // settled
        };
        const Row rows[] = {
            {true, "w", "300", 300, 150},
            // 1.5 rounds to 2; the width typed stays as typed.
            {true, "w", "3", 3, 2},
            {true, "h", "25", 50, 25},
            {false, "w", "300", 300, 100},
            {false, "h", "7", 200, 7},
        };
        for (const Row& row : rows) {
            CResizeDlg dialog(200, 100);
            QVERIFY(dialog.KeepAspectBox()->isChecked());
            QVERIFY(dialog.BetterButton()->isChecked());
            dialog.KeepAspectBox()->setChecked(row.keep);
            (row.field[0] == 'w' ? dialog.WidthEdit() : dialog.HeightEdit())->setText(row.typed);
            QCOMPARE(dialog.WidthEdit()->text(), QString::number(row.width));
            QCOMPARE(dialog.HeightEdit()->text(), QString::number(row.height));
        }
    }

    void integerCheckKeepsTheDialogOpen() {
        CResizeDlg dialog(200, 100);
        dialog.KeepAspectBox()->setChecked(false);
        dialog.show();
        dialog.HeightEdit()->setText("12x");
        QString message;
        AnswerModal<QMessageBox>([&](QMessageBox* box) {
            message = box->text();
            box->accept();
        });
        dialog.accept();
        QCOMPARE(message, QString("Please enter an integer."));
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.result(), 0);
        dialog.HeightEdit()->setText(" 120 ");
        dialog.GoodButton()->setChecked(true);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.height, 120);
        QCOMPARE(dialog.quality, 0);

        TextObject text;
        CEditTxtDlg textDialog(text, false);
        textDialog.show();
        textDialog.SizeEdit()->setText("big");
        AnswerModal<QMessageBox>([&](QMessageBox* box) { box->accept(); });
        textDialog.accept();
        QVERIFY(textDialog.isVisible());
        QCOMPARE(text.fontSize, 16);
        textDialog.reject();
    }

    void textDialogOpensAndStores() {
        TextObject fresh;
        fresh.text = "Text";
        fresh.alignment = 2;
        fresh.bold = fresh.italic = fresh.underline = 1;
        CEditTxtDlg newDialog(fresh, true);
        QVERIFY(newDialog.AlignButton(0)->isChecked());
        QVERIFY(!newDialog.BoldBox()->isChecked() && !newDialog.ItalicBox()->isChecked() &&
                !newDialog.UnderlineBox()->isChecked());
        QCOMPARE(newDialog.TextEdit()->toPlainText(), QString("Text"));
        QCOMPARE(newDialog.SizeList()->currentText(), QString("16"));
        // A new box's "Arial" is drawn in Liberation Sans: the dialog says so, and its text shows it.
        QCOMPARE(fresh.fontName, QString("Arial"));
        QCOMPARE(newDialog.FontList()->SelectedFace(), QString("Liberation Sans"));
        QCOMPARE(QFontInfo(newDialog.TextEdit()->font()).family(), QString("Liberation Sans"));
        QCOMPARE(newDialog.TextEdit()->font().pointSize(), 16);
        newDialog.BoldBox()->setChecked(true);
        newDialog.SizeEdit()->setText("24");
        QVERIFY(newDialog.TextEdit()->font().bold());
        QCOMPARE(newDialog.TextEdit()->font().pointSize(), 24);

        TextObject object;
        object.text = "Hello\nworld";
        object.fontName = "No Such Font Anywhere";
        object.fontSize = 13;
        object.alignment = 2;
        object.italic = 1;
        object.textColour = Rgb(10, 20, 30);
        CEditTxtDlg dialog(object, false);
        QVERIFY(dialog.AlignButton(2)->isChecked());
        QVERIFY(dialog.ItalicBox()->isChecked() && !dialog.BoldBox()->isChecked());
        QCOMPARE(dialog.SizeEdit()->text(), QString("13"));
        QCOMPARE(dialog.SizeList()->currentIndex(), -1);
        QCOMPARE(dialog.ColourButton()->GetColour(), Rgb(10, 20, 30));
        QCOMPARE(dialog.FontList()->SelectedFace(), DesktopSansFamily());
        dialog.SizeList()->setCurrentIndex(dialog.SizeList()->findText("28"));
        QCOMPARE(dialog.SizeEdit()->text(), QString("28"));
        dialog.SizeEdit()->setText("13");
        dialog.TextEdit()->setPlainText(QString(600, 'x'));
        dialog.BoldBox()->setChecked(true);
        dialog.accept();
        QCOMPARE(object.fontSize, 13);
        QCOMPARE(object.fontName, DesktopSansFamily());
        QCOMPARE(object.text.size(), 511);
        QCOMPARE(object.bold, 1);
        QCOMPARE(object.italic, 1);
        QCOMPARE(object.alignment, 2);

        // Typed and pasted text stops at 511 characters, visibly; OK stores what the user sees.
        TextObject longer;
        CEditTxtDlg typing(longer, false);
        typing.show();
        QTextEdit* edit = typing.TextEdit();
        edit->setPlainText(QString(505, 'y'));
        edit->moveCursor(QTextCursor::End);
        QTest::keyClicks(edit, "abcd");
        QTest::keyClick(edit, Qt::Key_Return);
        QTest::keyClicks(edit, "efgh");
        QCOMPARE(edit->toPlainText(), QString(505, 'y') + "abcd\ne");
        QCOMPARE(typing.CountLabel()->text(), QString("511 / 511 characters"));
        QApplication::clipboard()->setText("pasted");
        QTest::keySequence(edit, QKeySequence::Paste);
        QCOMPARE(edit->toPlainText().size(), 511);
        // Room made by a deletion takes that much and no more.
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keySequence(edit, QKeySequence::Paste);
        QCOMPARE(edit->toPlainText(), QString(505, 'y') + "abcdpa");
        // Typing over a selection replaces it.
        QTest::keyClick(edit, Qt::Key_Left, Qt::ShiftModifier);
        QTest::keyClicks(edit, "Z");
        QCOMPARE(edit->toPlainText().right(3), QString("dpZ"));
        const QString shown = edit->toPlainText();
        typing.accept();
        QCOMPARE(longer.text, shown);

        // Cancel leaves the object alone.
        const QString kept = object.text;
        CEditTxtDlg cancelled(object, false);
        cancelled.TextEdit()->setPlainText("changed");
        cancelled.reject();
        QCOMPARE(object.text, kept);
    }

    // The captured-text window keeps a listing's lines (scrolled, not wrapped), sizes itself to the text
    // within the screen, and switches between the desktop's font and a fixed-pitch one.
    void capturedTextKeepsLinesAndOffersMonospace() {
        const QString listing =
            "-rw-r--r--  1 alice alice  1187 Feb 27 18:02 CMakeLists.txt\n"
            "drwxr-xr-x 12 alice alice  4096 Mar  3 09:41 src\n" +
            QString(160, '=');
        const struct {
            QString text;
            bool monospace;
        } cases[] = {{"One short line.", false}, {listing, true}, {listing, false}};
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        int shortWidth = 0;
        for (const auto& c : cases) {
            auto* window = new CTextResultDlg(c.text, nullptr, c.monospace);
            QPointer<CTextResultDlg> alive(window);
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            QPlainTextEdit* editor = window->Editor();
            QCheckBox* monospace = window->Monospace();
            QCOMPARE(monospace->text(), QString("Monospace"));
            QCOMPARE(monospace->accessibleName(), QString("Monospace"));
            QCOMPARE(monospace->isChecked(), c.monospace);
            QCOMPARE(QFontInfo(editor->font()).fixedPitch(), c.monospace);
            QCOMPARE(editor->lineWrapMode(), QPlainTextEdit::NoWrap);
            QCOMPARE(editor->blockCount(), int(c.text.count('\n')) + 1);
            QVERIFY(screen.size().expandedTo(window->size()) == screen.size());
            if (c.text.size() < 20)
                shortWidth = window->width();
            else
                QVERIFY(window->width() > shortWidth);
            // A line longer than the window scrolls sideways.
            QTRY_COMPARE(editor->horizontalScrollBar()->maximum() > 0, c.text.contains(QString(160, '=')));

            monospace->click();
            QCOMPARE(QFontInfo(editor->font()).fixedPitch(), !c.monospace);
            const QSize grown = window->size();
            monospace->click();
            QCOMPARE(QFontInfo(editor->font()).fixedPitch(), c.monospace);
            QVERIFY(window->size().expandedTo(grown) == window->size());

            for (QAbstractButton* button : window->findChild<QDialogButtonBox*>()->buttons())
                if (button->text() == "Copy") button->click();
            QCOMPARE(QApplication::clipboard()->text(), c.text);
            window->close();
            QTRY_VERIFY(alive.isNull());
        }
    }
};

int RunDialogTests(int argc, char** argv) {
    DialogTest test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace glimmora::test

#include "dialogs_test.moc"
