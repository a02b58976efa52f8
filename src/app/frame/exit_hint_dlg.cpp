#include "app/frame/exit_hint_dlg.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace glimmora {

CExitHintDlg::CExitHintDlg(const QString& title, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Save image");
    // No system menu on the caption: the four buttons are the only answers.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel("Do you want to save " + title + "?", this);
    text->setObjectName("prompt");
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    layout->addWidget(text);
    auto* buttons = new QHBoxLayout;
    const struct {
        const char* text;
        int result;
    } answers[] = {{"Yes", kYes}, {"No", kNo}, {"Save None", kSaveNone}, {"Cancel", kCancel}};
    for (const auto& a : answers) {
        auto* b = new QPushButton(a.text, this);
        b->setAutoDefault(false);
        b->setDefault(false);
        const int result = a.result;
        connect(b, &QPushButton::clicked, this, [this, result] { done(result); });
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
}

void CExitHintDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            done(kCancel);
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

}  // namespace glimmora
