#include "ui/text_result_dlg.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>

namespace glimmora {

CTextResultDlg::CTextResultDlg(const QString& text, QWidget* parent, bool monospace) : QDialog(parent) {
    setWindowTitle("Captured Text");
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    editor_ = new QPlainTextEdit(text, this);
    editor_->setAccessibleName("Captured text");
    // A terminal's or a listing's lines mean something as they stand: scroll, do not re-wrap.
    editor_->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(editor_);
    auto* row = new QHBoxLayout;
    monospace_ = new QCheckBox("Monospace", this);
    monospace_->setAccessibleName("Monospace");
    monospace_->setToolTip("Show the text in a fixed-width font, so columns line up");
    row->addWidget(monospace_);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* copy = buttons->addButton("Copy", QDialogButtonBox::ActionRole);
    QPushButton* close = buttons->addButton("Close", QDialogButtonBox::RejectRole);
    copy->setAccessibleName("Copy");
    close->setAccessibleName("Close");
    row->addWidget(buttons, 1);
    layout->addLayout(row);
    // The text as it stands now, corrections included.
    connect(copy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(editor_->toPlainText()); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(monospace_, &QCheckBox::toggled, this, &CTextResultDlg::UseMonospace);
    monospace_->setChecked(monospace);
    UseMonospace(monospace);
}

void CTextResultDlg::UseMonospace(bool on) {
    editor_->setFont(on ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : font());
    // As wide and tall as the text needs in this font, no smaller than the usual window, and within most
    // of the screen's free area; longer text scrolls.
    const QFontMetrics metrics(editor_->font());
    int widest = 0, lines = 0;
    for (const QString& line : editor_->toPlainText().split('\n')) {
        widest = std::max(widest, metrics.horizontalAdvance(line));
        ++lines;
    }
    const QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    const QSize room = screen ? screen->availableGeometry().size() * 9 / 10 : QSize(1600, 1000);
    const int chrome = editor_->frameWidth() * 2 +
                       2 * static_cast<int>(editor_->document()->documentMargin()) +
                       editor_->verticalScrollBar()->sizeHint().width();
    const QMargins margins = layout()->contentsMargins();
    const int width = widest + chrome + margins.left() + margins.right();
    const int height = metrics.lineSpacing() * lines + chrome + layout()->spacing() +
                       monospace_->sizeHint().height() + margins.top() + margins.bottom();
    const QFontMetrics usual(font());
    QSize wanted(std::clamp(width, std::min(usual.averageCharWidth() * 64, room.width()), room.width()),
                 std::clamp(height, std::min(usual.lineSpacing() * 14, room.height()), room.height()));
    // Once shown, the window only grows: a size the user chose stays.
    if (isVisible()) wanted = wanted.expandedTo(size());
    resize(wanted);
}

}  // namespace glimmora
