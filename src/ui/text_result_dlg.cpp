#include "ui/text_result_dlg.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace glimmora {

CTextResultDlg::CTextResultDlg(const QString& text, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Captured Text");
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    editor_ = new QPlainTextEdit(text, this);
    editor_->setAccessibleName("Captured text");
    layout->addWidget(editor_);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* copy = buttons->addButton("Copy", QDialogButtonBox::ActionRole);
    QPushButton* close = buttons->addButton("Close", QDialogButtonBox::RejectRole);
    copy->setAccessibleName("Copy");
    close->setAccessibleName("Close");
    layout->addWidget(buttons);
    // The text as it stands now, corrections included.
    connect(copy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(editor_->toPlainText()); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    const QFontMetrics metrics(editor_->font());
    resize(metrics.averageCharWidth() * 64, metrics.lineSpacing() * 14);
}

}  // namespace glimmora
