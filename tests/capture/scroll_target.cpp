// A Qt program with a read-only text view of numbered lines, for the scrolling-capture tests.
// usage: scroll_target LINES X Y W H [LINES_PER_NOTCH]
// Esc quits it, so a test can tell whether the key reached it.
#include <QApplication>
#include <QKeySequence>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QString>
#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_ENABLE_HIGHDPI_SCALING", "0", 1);
    QApplication app(argc, argv);
    if (argc > 6) QApplication::setWheelScrollLines(std::atoi(argv[6]));
    const int lines = argc > 1 ? std::atoi(argv[1]) : 100;
    QPlainTextEdit view;
    view.setReadOnly(true);
    view.setWindowTitle("scroll target");
    view.setLineWrapMode(QPlainTextEdit::NoWrap);
    QString text;
    for (int i = 1; i <= lines; ++i)
        text += QString("line %1 %2\n").arg(i).arg(QString(i % 23 + 1, QChar('#')));
    view.setPlainText(text);
    if (argc > 5)
        view.setGeometry(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]));
    QShortcut quit(QKeySequence(Qt::Key_Escape), &view);
    QObject::connect(&quit, &QShortcut::activated, &app, &QApplication::quit);
    view.show();
    return app.exec();
}
