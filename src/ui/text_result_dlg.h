// The small window that shows the text read from a picture: editable, with Copy and Close.
#pragma once

#include <QDialog>

class QPlainTextEdit;

namespace glimmora {

class CTextResultDlg : public QDialog {
    Q_OBJECT
  public:
    // Not modal, deletes itself when closed.
    explicit CTextResultDlg(const QString& text, QWidget* parent = nullptr);
    QPlainTextEdit* Editor() const { return editor_; }

  private:
    QPlainTextEdit* editor_;
};

}  // namespace glimmora
