// A Qt program with a read-only text view of numbered lines, for the scrolling-capture tests.
// usage: scroll_target LINES X Y W H [LINES_PER_NOTCH [flip|late]]
// Esc quits it, so a test can tell whether the key reached it. With "flip" a wheel notch does not scroll
// but shows other text, as a pager that turns a page would. With "late" a notch first shows an overlay
// scroll bar at once and moves the text only a moment later, as a busy program with smooth scrolling does.
#include <QApplication>
#include <QEvent>
#include <QKeySequence>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QShortcut>
#include <QString>
#include <QTimer>
#include <cstdlib>

namespace {
QString Lines(int count, int first, QChar fill) {
    QString text;
    for (int i = first; i < first + count; ++i)
        text += QString("line %1 %2\n").arg(i).arg(QString(i % 23 + 1, fill));
    return text;
}

class View : public QPlainTextEdit {
  public:
    bool flip = false, late = false;

  protected:
    void wheelEvent(QWheelEvent* event) override {
        if (flip) {
            setPlainText(Lines(40, 1000 * ++pages_, QChar('%')));
        } else if (late) {
            indicator_ = true;
            viewport()->update();
            const int lines = event->angleDelta().y() / -120 * QApplication::wheelScrollLines();
            QTimer::singleShot(300, this, [this, lines] {
                verticalScrollBar()->setValue(verticalScrollBar()->value() + lines);
            });
        } else {
            QPlainTextEdit::wheelEvent(event);
            return;
        }
        event->accept();
    }
    void paintEvent(QPaintEvent* event) override {
        QPlainTextEdit::paintEvent(event);
        if (!indicator_) return;
        // A thumb inside the text, where it follows the position.
        const QScrollBar* bar = verticalScrollBar();
        const int height = viewport()->height() - 40;
        const int y = bar->maximum() > 0 ? height * bar->value() / bar->maximum() : 0;
        QPainter(viewport()).fillRect(viewport()->width() - 40, y + 4, 6, 32, QColor(90, 90, 90));
    }

  private:
    int pages_ = 0;
    bool indicator_ = false;
};
}  // namespace

int main(int argc, char** argv) {
    setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 1);
    QApplication app(argc, argv);
    if (argc > 6) QApplication::setWheelScrollLines(std::atoi(argv[6]));
    const int lines = argc > 1 ? std::atoi(argv[1]) : 100;
    View view;
    view.setReadOnly(true);
    view.setWindowTitle("scroll target");
    view.setLineWrapMode(QPlainTextEdit::NoWrap);
    view.setPlainText(Lines(lines, 1, QChar('#')));
    view.flip = argc > 7 && QString(argv[7]) == "flip";
    view.late = argc > 7 && QString(argv[7]) == "late";
    if (argc > 5)
        view.setGeometry(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
    QShortcut quit(QKeySequence(Qt::Key_Escape), &view);
    QObject::connect(&quit, &QShortcut::activated, &app, &QApplication::quit);
    view.show();
    return app.exec();
}
