// The Param Setting bar: defaults per tool, one value shared by every panel, set-kind keeping the
// panel, change notifications, and the stamp list from a folder with good and bad entries.
#include "ui/tool_option_bar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>
#include <set>

#include "ui/colour_picker.h"
#include "ui_tests.h"

namespace glimmora::test {
namespace {

void WritePicture(const QString& path, QColor colour, QSize size) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    QVERIFY(image.save(path));
}

}  // namespace

class ToolOptionBarTest : public QObject {
    Q_OBJECT
  private slots:
    void defaultsPerKind_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QList<int>>("expected");  // box, arrow, shape, line, width, opacity, shadow
        QTest::addColumn<QList<uint>>("colours");  // colour, text back, border, shape back
        const uint white = 0xFFFFFF;
        QTest::newRow("text") << int(kToolText) << QList<int>{1, 0, 0, 0, 1, 0, 1}
                              << QList<uint>{white, 0xFFFFFF, white, white};
        QTest::newRow("line") << int(kToolLine) << QList<int>{0, 0, 0, 0, 2, 0, 1}
                              << QList<uint>{0x000000, white, white, white};
        QTest::newRow("arrow reads width 1") << int(kToolArrow) << QList<int>{0, 0, 0, 0, 1, 0, 1}
                                             << QList<uint>{0x000000, white, white, white};
        QTest::newRow("shape") << int(kToolShape) << QList<int>{0, 0, 0, 0, 2, 0, 1}
                               << QList<uint>{white, white, 0x000000, 0x808000};
        QTest::newRow("highlight") << int(kToolHighlight) << QList<int>{0, 0, 0, 0, 1, 50, 1}
                                   << QList<uint>{0x800000, white, white, white};
        QTest::newRow("select") << int(kToolSelect) << QList<int>{0, 0, 0, 0, 1, 0, 0}
                                << QList<uint>{white, white, white, white};
    }
    void defaultsPerKind() {
        QFETCH(int, kind);
        QFETCH(QList<int>, expected);
        QFETCH(QList<uint>, colours);
        ToolOptionBar bar(nullptr, "/nonexistent");
        // Another tool's changes first: a new panel starts afresh.
        bar.SetKind(kToolStamp);
        bar.SetWidth(9);
        bar.SetOpacity(70);
        bar.SetColour(0x123456);
        bar.SetKind(kind);
        const QList<int> values{bar.BoxStyle(), bar.ArrowStyle(), bar.Shape(), bar.LineStyle(),
                                bar.Width(),    bar.Opacity(),    bar.Shadow()};
        QCOMPARE(values, expected);
        const QList<uint> shown{bar.Colour(), bar.TextBackColour(), bar.BorderColour(),
                                bar.ShapeBackColour()};
        QCOMPARE(shown, colours);
        // The controls show the values.
        ToolOptionPanel* panel = bar.Panel();
        if (panel->opacity) QCOMPARE(panel->opacity->value(), bar.Opacity());
        if (panel->shadow) QCOMPARE(panel->shadow->isChecked(), bar.Shadow() == 1);
        if (panel->width) QCOMPARE(panel->width->currentText(), QString::number(bar.Width()));
        if (panel->colour) QCOMPARE(panel->colour->GetColour(), bar.Colour());
        if (panel->shapeBack) QCOMPARE(panel->shapeBack->GetColour(), bar.ShapeBackColour());
    }

    void noParameterToolsShareOnePanelLayout() {
        ToolOptionBar bar;
        for (int kind : {kToolSelect, kToolMove, kToolCrop, kToolZoom}) {
            bar.SetKind(kind);
            const auto labels = bar.Panel()->findChildren<QLabel*>();
            QCOMPARE(labels.size(), 1);
            QCOMPARE(labels[0]->text(), QString("no parameter"));
            QVERIFY(!bar.Panel()->opacity);
        }
    }

    // Choosing the same tool again keeps the user's values; every change through the panel is
    // reported once, values set by the view are not.
    void changesNotifyAndTheSameKindKeepsThePanel() {
        ToolOptionBar bar(nullptr, "/nonexistent");
        bar.show();
        QSignalSpy changed(&bar, &ToolOptionBar::panelChanged);
        bar.SetKind(kToolLine);
        ToolOptionPanel* panel = bar.Panel();
        panel->width->setCurrentIndex(4);
        QCOMPARE(bar.Width(), 5);
        panel->lineStyle->setCurrentIndex(1);
        QTest::mouseClick(panel->shadow, Qt::LeftButton);
        QCOMPARE(bar.Shadow(), 0);
        panel->opacity->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(bar.Opacity(), panel->opacity->value());
        QVERIFY(bar.Opacity() > 0);
        QCOMPARE(changed.count(), 4);

        // A colour from the grid.
        panel->colour->click();
        auto* popup = panel->colour->findChild<ColourPopup*>();
        QVERIFY(popup);
        QTest::keyClick(popup, Qt::Key_Right);
        QTest::keyClick(popup, Qt::Key_Return);
        QCOMPARE(bar.Colour(), Rgb(0x80, 0x80, 0x80));  // right of black
        QCOMPARE(changed.count(), 5);

        bar.SetKind(kToolLine);
        QCOMPARE(bar.Panel(), panel);
        QCOMPARE(bar.Width(), 5);
        QCOMPARE(bar.LineStyle(), 1);

        // The view mirrors an object: no notification, the controls follow.
        bar.SetWidth(8);
        bar.SetOpacity(30);
        bar.SetShadow(1);
        QCOMPARE(panel->width->currentText(), QString("8"));
        QCOMPARE(panel->opacity->value(), 30);
        QVERIFY(panel->shadow->isChecked());
        QCOMPARE(changed.count(), 5);

        // A slider position that did not come through the panel is taken when the slider paints.
        {
            const QSignalBlocker quiet(panel->opacity);
            panel->opacity->setValue(77);
        }
        QCOMPARE(bar.Opacity(), 30);
        panel->opacity->grab();
        QCOMPARE(bar.Opacity(), 77);
        QCOMPARE(changed.count(), 5);

        bar.SetKind(kToolShape);
        QVERIFY(bar.Panel() != panel);
        QCOMPARE(bar.Width(), 2);
        bar.Panel()->shape->setCurrentIndex(3);
        // The spin box is the width too, kept within its range; the combo follows it and back.
        bar.Panel()->widthSpin->setValue(12);
        QCOMPARE(bar.Shape(), 3);
        QCOMPARE(changed.count(), 7);
        QCOMPARE(bar.Width(), 10);
        QCOMPARE(bar.Panel()->width->currentText(), QString("10"));
        bar.Panel()->width->setCurrentIndex(3);
        QCOMPARE(bar.Panel()->widthSpin->value(), 4);
        QCOMPARE(changed.count(), 8);
        // Each tool comes back as it was left.
        bar.SetKind(kToolLine);
        QCOMPARE(bar.Width(), 8);
        QCOMPARE(bar.LineStyle(), 1);
        bar.SetKind(kToolShape);
        QCOMPARE(bar.Width(), 4);
        QCOMPARE(bar.Shape(), 3);
        QCOMPARE(changed.count(), 8);
    }

    // The active view pushes its tool and its selected object's style into the bar on every tab switch:
    // none of that may come back as a user's change, on any panel, or it would restyle the object.
    void viewPushesAreSilent() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        WritePicture(dir.path() + "/1.png", Qt::red, QSize(8, 8));
        WritePicture(dir.path() + "/2.png", Qt::blue, QSize(8, 8));
        ToolOptionBar bar(nullptr, dir.path());
        bar.show();
        QSignalSpy changed(&bar, &ToolOptionBar::panelChanged);
        for (int kind :
             {kToolLine, kToolShape, kToolStamp, kToolText, kToolArrow, kToolHighlight, kToolSelect}) {
            bar.SetKind(kind);
            bar.SetKind(kind);
            bar.SetWidth(7);
            bar.SetLineStyle(1);
            bar.SetBoxStyle(0);
            bar.SetArrowStyle(1);
            bar.SetShape(2);
            bar.SetColour(0x0000FF);
            bar.SetTextBackColour(0x00FF00);
            bar.SetBorderColour(0xFF0000);
            bar.SetShapeBackColour(0x123456);
            bar.SetOpacity(30);
            bar.SetShadow(0);
            bar.SetStampNumber(2);
            QCoreApplication::processEvents();
            bar.Panel()->grab();  // a repaint of the slider must not count either
            QCOMPARE(changed.count(), 0);
            const QList<int> values{bar.Width(), bar.LineStyle(), bar.BoxStyle(), bar.ArrowStyle(),
                                    bar.Shape(), bar.Opacity(),   bar.Shadow(),   bar.StampNumber()};
            QCOMPARE(values, (QList<int>{7, 1, 0, 1, 2, 30, 0, 2}));
            const QList<uint> colours{bar.Colour(), bar.TextBackColour(), bar.BorderColour(),
                                      bar.ShapeBackColour()};
            QCOMPARE(colours, (QList<uint>{0x0000FF, 0x00FF00, 0xFF0000, 0x123456}));
            ToolOptionPanel* panel = bar.Panel();
            if (panel->width) QCOMPARE(panel->width->currentText(), QString("7"));
            if (panel->shape) QCOMPARE(panel->shape->currentIndex(), 2);
            if (panel->opacity) QCOMPARE(panel->opacity->value(), 30);
            if (panel->shadow) QVERIFY(!panel->shadow->isChecked());
            if (panel->stamps) QCOMPARE(panel->stamps->currentRow(), 1);
            if (panel->colour) QCOMPARE(panel->colour->GetColour(), ColorRef(0x0000FF));
            if (panel->border) QCOMPARE(panel->border->GetColour(), ColorRef(0xFF0000));
        }
        // The user's own change still speaks.
        bar.SetKind(kToolLine);
        bar.Panel()->lineStyle->setCurrentIndex(0);
        QCOMPARE(changed.count(), 1);
    }

    // Only files that load are listed, numbers first by value, then by name; folders and broken files
    // are skipped. Each file is decoded once, however often the panel is shown.
    void stampListSkipsFoldersAndBadFiles() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString folder = dir.path();
        WritePicture(folder + "/red.png", Qt::red, QSize(80, 60));
        WritePicture(folder + "/Green.bmp", Qt::green, QSize(10, 10));
        WritePicture(folder + "/blue.png", QColor(0, 0, 255, 128), QSize(300, 20));
        WritePicture(folder + "/10.png", Qt::gray, QSize(4, 4));
        WritePicture(folder + "/9.png", Qt::gray, QSize(4, 4));
        QFile broken(folder + "/broken.png");
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("\x89PNG\r\n\x1a\n not really");
        broken.close();
        QFile text(folder + "/readme.txt");
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("stamps go here");
        text.close();
        QVERIFY(QDir(folder).mkdir("sub"));
        WritePicture(folder + "/sub/inner.png", Qt::black, QSize(8, 8));

        ToolOptionBar bar(nullptr, folder);
        bar.show();
        QSignalSpy changed(&bar, &ToolOptionBar::panelChanged);
        bar.SetKind(kToolStamp);
        std::vector<std::string> expected;
        for (const char* name : {"9.png", "10.png", "blue.png", "Green.bmp", "red.png"})
            expected.push_back(QFile::encodeName(QDir(folder).absoluteFilePath(name)).toStdString());
        QCOMPARE(bar.StampPaths(), expected);
        const int decodes = bar.Stamps().Decodes();
        QCOMPARE(decodes, 7);  // the five, the broken one and the text
        // Another tool, then stamps again (as selecting a stamp object does): nothing decoded again.
        bar.SetKind(kToolText);
        bar.SetKind(kToolStamp);
        QCOMPARE(bar.StampPaths(), expected);
        QCOMPARE(bar.Stamps().Decodes(), decodes);
        // Drop the two numbered ones for the rest of the test.
        QVERIFY(QFile::remove(folder + "/9.png") && QFile::remove(folder + "/10.png"));
        bar.SetKind(kToolText);
        bar.SetKind(kToolStamp);
        expected.erase(expected.begin(), expected.begin() + 2);
        QCOMPARE(bar.StampPaths(), expected);
        QListWidget* list = bar.Panel()->stamps;
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->item(0)->icon().availableSizes().value(0), QSize(36, 27));
        QCOMPARE(bar.StampNumber(), 1);
        QCOMPARE(list->currentRow(), 0);
        QCOMPARE(bar.Opacity(), 0);
        QCOMPARE(bar.Shadow(), 1);

        // A click on the third stamp chooses it; its picture comes at full size.
        const QRect third = list->visualItemRect(list->item(2));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, third.center());
        QCOMPARE(bar.StampNumber(), 3);
        QCOMPARE(changed.count(), 1);
        const Image* picture = bar.StampImage();
        QVERIFY(picture);
        const QString chosen = QFile::decodeName(expected[2].c_str());
        QVERIFY(chosen.endsWith("red.png"));
        QCOMPARE(QSize(picture->Width(), picture->Height()), QSize(80, 60));

        // The folder emptied: the next stamp panel lists nothing and has no stamp.
        for (const QString& name : QDir(folder).entryList(QDir::Files)) QFile::remove(folder + "/" + name);
        bar.SetKind(kToolText);
        bar.SetKind(kToolStamp);
        QCOMPARE(bar.Panel()->stamps->count(), 0);
        QCOMPARE(bar.StampNumber(), 0);
        QVERIFY(!bar.StampImage());
    }

    void shippedStampsAllLoad() {
        ToolOptionBar bar(nullptr, GLIMMORA_SOURCE_DIR "/res/stamps");
        bar.SetKind(kToolStamp);
        QCOMPARE(bar.StampPaths().size(), size_t(12));
        for (int i = 1; i <= 12; ++i) {
            bar.SetStampNumber(i);
            QVERIFY(bar.StampImage());
            QCOMPARE(bar.StampImage()->Depth(), 32);
        }
    }

    // Each tool's values go to one line of config.ini and come back in the next run; a value out of its
    // control's range, or not a number, leaves the tool's default.
    void toolStylesLastAcrossRuns() {
        ToolOptionBar first(nullptr, "/nonexistent");
        first.SetKind(kToolPen);
        first.SetWidth(7);
        first.SetColour(0x123456);
        first.SetKind(kToolCounter);
        first.SetCounterStart(12);
        first.SetRenumber(false);
        first.SetKind(kToolLine);
        QCOMPARE(first.StyleText(kToolText), std::string());  // never chosen
        const std::string pen = first.StyleText(kToolPen), counter = first.StyleText(kToolCounter);
        QVERIFY(pen.find("width=7") != std::string::npos);

        ToolOptionBar next(nullptr, "/nonexistent");
        next.SetStyleText(kToolPen, pen);
        next.SetStyleText(kToolCounter, counter);
        next.SetStyleText(kToolLine, "width=99 colour=zzzzzz lineStyle=1 opacity=-5 shadow=1 junk");
        next.SetKind(kToolPen);
        QCOMPARE(next.Width(), 7);
        QCOMPARE(next.Colour(), ColorRef(0x123456));
        QCOMPARE(next.Panel()->width->currentText(), QString("7"));
        next.SetKind(kToolCounter);
        QCOMPARE(next.CounterStart(), 12);
        QVERIFY(!next.Renumber());
        QVERIFY(!next.Panel()->renumber->isChecked());
        next.SetKind(kToolLine);
        QCOMPARE(next.Width(), 2);  // the default, not 99
        QCOMPARE(next.Colour(), ColorRef(0));
        QCOMPARE(next.LineStyle(), 1);
        QCOMPARE(next.Opacity(), 0);
    }

    void everyControlHasAName() {
        ToolOptionBar bar;
        QCOMPARE(bar.windowTitle(), QString("Param Setting"));
        for (int kind = kToolSelect; kind <= kToolMarker; ++kind) {
            bar.SetKind(kind);
            for (QWidget* w : bar.Panel()->findChildren<QWidget*>()) {
                if (w->parentWidget() != bar.Panel()) continue;
                if (auto* label = qobject_cast<QLabel*>(w)) {
                    QVERIFY(!label->text().isEmpty());
                    continue;
                }
                if (qobject_cast<QCheckBox*>(w)) continue;  // its text is its name
                QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->metaObject()->className()));
            }
            // Every spin box and slider has a visible label beside it.
            for (QWidget* w : bar.Panel()->findChildren<QWidget*>()) {
                if (!qobject_cast<QSpinBox*>(w) && !qobject_cast<QSlider*>(w)) continue;
                bool labelled = false;
                for (QLabel* label : bar.Panel()->findChildren<QLabel*>())
                    labelled |= label->buddy() == w && !label->text().isEmpty();
                QVERIFY2(labelled, qPrintable(w->accessibleName()));
            }
        }
    }
};

int RunToolOptionBarTests(int argc, char** argv) {
    ToolOptionBarTest test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace glimmora::test

#include "tool_option_bar_test.moc"
