// A Qt program with a read-only text view of numbered lines, for the scrolling-capture tests.
// usage: scroll_target LINES X Y W H [LINES_PER_NOTCH [flip]]
// Esc quits it, so a test can tell whether the key reached it. With "flip" a wheel notch does not scroll
// but shows other text, as a pager that turns a page would.
#include <QApplication>
#include <QEvent>
#include <QKeySequence>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QString>
#include <cstdlib>

namespace {
QString Lines(int count, int first, QChar fill) {
    QString text;
    for (int i = first; i < first + count; ++i)
        text += QString("line %1 %2\n").arg(i).arg(QString(i % 23 + 1, fill));
    return text;
}

class Flip : public QObject {
  public:
    explicit Flip(QPlainTextEdit& view) : view_(view) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Wheel) return false;
        view_.setPlainText(Lines(40, 1000 * ++pages_, QChar('%')));
        return true;
    }

  private:
    QPlainTextEdit& view_;
    int pages_ = 0;
};
}  // namespace

int main(int argc, char** argv) {
    setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 1);
    QApplication app(argc, argv);
    if (argc > 6) QApplication::setWheelScrollLines(std::atoi(argv[6]));
    const int lines = argc > 1 ? std::atoi(argv[1]) : 100;
    QPlainTextEdit view;
    view.setReadOnly(true);
    view.setWindowTitle("scroll target");
    view.setLineWrapMode(QPlainTextEdit::NoWrap);
    view.setPlainText(Lines(lines, 1, QChar('#')));
    Flip flip(view);
    if (argc > 7 && QString(argv[7]) == "flip") view.viewport()->installEventFilter(&flip);
    if (argc > 5)
        view.setGeometry(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
    QShortcut quit(QKeySequence(Qt::Key_Escape), &view);
    QObject::connect(&quit, &QShortcut::activated, &app, &QApplication::quit);
    view.show();
    return app.exec();
}
