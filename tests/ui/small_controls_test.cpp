// The hyperlink (colours, hover and its timer, underline modes, a failed open) and the status-bar
// progress bar (placement in its pane, the texts it gives back, the document's progress host).
#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QStatusBar>
#include <QtTest>

#include "image/processors/colour.h"
#include "ui/colour_combo.h"
#include "ui/font_combo.h"
#include "ui/hyperlink.h"
#include "ui/progress_bar.h"
#include "ui/ui_fonts.h"
#include "ui_tests.h"

namespace glimmora::test {
namespace {

// Counts the paints of progress bars while it lives.
class PaintCounter : public QObject {
  public:
    PaintCounter() { qApp->installEventFilter(this); }
    int count = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && qobject_cast<CProgressBar*>(watched)) ++count;
        return false;
    }
};

}  // namespace

class SmallControlTest : public QObject {
    Q_OBJECT
  private slots:
    void hyperlinkHoverColoursAndUnderline() {
        QWidget window;
        auto* link = new HyperLink("Glimmora home", "https://example.invalid/", &window);
        window.resize(300, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(link->TextColour(), QColor(0, 0, 238));
        QVERIFY(!link->font().underline());
        QCOMPARE(link->toolTip(), QString("https://example.invalid/"));
        QCOMPARE(link->accessibleName(), QString("Glimmora home"));
        // The whole text fits.
        QVERIFY(link->width() >= link->fontMetrics().horizontalAdvance("Glimmora home"));

        QCursor::setPos(link->mapToGlobal(link->rect().center()));
        SendMouse(link, QEvent::MouseMove, link->rect().center());
        QVERIFY(link->IsHovering());
        QVERIFY(link->IsHoverTimerRunning());
        QCOMPARE(link->TextColour(), QColor(255, 0, 0));
        QVERIFY(link->font().underline());

        // The timer notices the pointer has gone.
        QCursor::setPos(window.mapToGlobal(QPoint(290, 90)));
        QTRY_VERIFY(!link->IsHovering());
        QVERIFY(!link->IsHoverTimerRunning());
        QVERIFY(!link->font().underline());
        QCOMPARE(link->TextColour(), QColor(0, 0, 238));

        link->SetUnderline(HyperLink::kUnderlineAlways);
        QVERIFY(link->font().underline());
        link->SetUnderline(HyperLink::kUnderlineNever);
        QCursor::setPos(link->mapToGlobal(link->rect().center()));
        SendMouse(link, QEvent::MouseMove, link->rect().center());
        QVERIFY(link->IsHovering());
        QVERIFY(!link->font().underline());
        link->SetVisited(true);
        QCursor::setPos(window.mapToGlobal(QPoint(290, 90)));
        QTRY_VERIFY(!link->IsHovering());
        QCOMPARE(link->TextColour(), QColor(85, 26, 139));
    }

    void hyperlinkThatCannotOpenSaysWhy() {
        HyperLink link("help", "/nonexistent-folder/help.html");
        link.SetVisited(true);
        QString shown;
        AnswerModal<QMessageBox>([&](QMessageBox* box) {
            shown = box->windowTitle() + "|" + box->text();
            box->accept();
        });
        QSignalSpy failed(&link, &HyperLink::openFailed);
        QVERIFY(!link.Open());
        QCOMPARE(shown, QString("Glimmora|Unable to open hyperlink:\n\nThe specified path was not found."));
        QCOMPARE(failed.value(0).value(0).toInt(), 3);
        QVERIFY(!link.IsVisited());
        QCOMPARE(HyperlinkErrorText(26), QString("A sharing violation occurred. "));
        QCOMPARE(HyperlinkErrorText(99), QString("Unknown Error (99) occurred."));
    }

    void progressBarSitsInItsPane() {
        QMainWindow window;
        QStatusBar* status = window.statusBar();
        auto* pane0 = new QLabel("Ready", status);
        pane0->setObjectName(StatusPaneName(0));
        auto* pane1 = new QLabel("Zoom: 100%", status);
        pane1->setObjectName(StatusPaneName(1));
        auto* pane2 = new QLabel("before", status);
        pane2->setObjectName(StatusPaneName(2));
        status->addWidget(pane0, 1);
        status->addWidget(pane1);
        status->addWidget(pane2, 2);
        window.resize(800, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        CProgressBar none;
        QWidget plain;
        QVERIFY(!none.Create(&plain, "", 100, 100, true, 2));
        QVERIFY(!none.Create(&window, "", 100, 100, true, 5));

        const QRect pane(pane2->mapTo(status, QPoint(0, 0)), pane2->size());
        {
            CProgressBar bar;
            QVERIFY(bar.Create(&window, "", 100, 100, true, 2));
            QVERIFY(bar.isVisible());
            QCOMPARE(bar.geometry().left(), pane.left());
            QCOMPARE(bar.geometry().width(), pane.width());
            QCOMPARE(bar.geometry().top(), pane.top() + pane.height() / 10);
            QCOMPARE(pane2->text(), QString());
            bar.SetPos(40);
            QCOMPARE(bar.value(), 40);
        }
        QCOMPARE(pane2->text(), QString("before"));

        {
            CProgressBar bar;
            QVERIFY(bar.Create(&window, "Working", 50, 10, true, 0));
            const QRect pane0Rect(pane0->mapTo(status, QPoint(0, 0)), pane0->size());
            const QFontMetrics metrics(status->font());
            const int left =
                pane0Rect.left() + metrics.horizontalAdvance("Working") + 4 * metrics.horizontalAdvance(' ');
            QCOMPARE(bar.geometry().left(), left);
            QVERIFY(qAbs(bar.geometry().right() -
                         (pane0Rect.right() - 50 * (pane0Rect.right() - left + 1) / 100)) <= 1);
            QCOMPARE(pane0->text(), QString("Working"));
            bar.Clear();
            QVERIFY(!bar.isVisible());
            QCOMPARE(pane0->text(), QString("Ready"));
        }

        // The document's route: a bar in pane 2 while the operation runs.
        StatusBarProgressHost host(&window);
        {
            std::unique_ptr<ProgressSink> progress = host.CreateProgress();
            QVERIFY(progress);
            progress->Start();
            // Shown once the paint interval has passed.
            CProgressBar* bar = nullptr;
            QTRY_VERIFY((progress->SetPercent(60), bar = status->findChild<CProgressBar*>()) &&
                        bar->value() == 60);
            QVERIFY(bar->isVisible());
        }
        QVERIFY(!status->findChild<CProgressBar*>());
        QCOMPARE(pane2->text(), QString("before"));

        // A run of 1080 rows: the bar paints only for a new percentage, at most about 30 times a second.
        {
            std::unique_ptr<ProgressSink> progress = host.CreateProgress();
            PaintCounter paints;
            Image picture;
            QVERIFY(picture.Create(1920, 1080, 32));
            InvertProcessor invert(kMaskAll);
            QElapsedTimer clock;
            clock.start();
            QVERIFY(RunProcessor(picture, invert, progress.get()));
            const qint64 ms = clock.elapsed();
            // A run long enough to be seen shows the bar.
            QVERIFY2(paints.count > 0 || ms < 100, qPrintable(QString("no paint in %1 ms").arg(ms)));
            QVERIFY2(paints.count <= 100 && paints.count <= ms / 33 + 1,
                     qPrintable(QString("%1 paints in %2 ms").arg(paints.count).arg(ms)));
        }
        QWidget bare;
        QVERIFY(!StatusBarProgressHost(&bare).CreateProgress());
    }

    void combosAndFonts() {
        ColourCombo colours;
        QCOMPARE(colours.count(), 11);
        QCOMPARE(colours.currentText(), QString("Black"));
        QCOMPARE(colours.ColourAt(4), ColorRef(0x007FFF));  // orange
        QCOMPARE(colours.itemText(colours.CustomIndex()), QString("Custom..."));

        FontCombo fonts(nullptr, 0);
        QVERIFY(fonts.count() > 0);
        fonts.SelectFace("Liberation Sa");
        QCOMPARE(fonts.SelectedFace(), QString("Liberation Sans"));
        fonts.SelectFace("No Such Family");
        QCOMPARE(fonts.currentIndex(), 0);
        QCOMPARE(QFontMetrics(fonts.FaceFont("Liberation Sans")).height(), 16);

        const QFont arial = FontForCellHeight("Arial", 20);
        QCOMPARE(QFontInfo(arial).family(), QString("Liberation Sans"));
        QVERIFY(QFontMetrics(arial).height() <= 20);
    }
};

int RunSmallControlTests(int argc, char** argv) {
    SmallControlTest test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace glimmora::test

#include "small_controls_test.moc"
