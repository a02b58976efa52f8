// The small window that shows the text read from a picture: editable, with Copy and Close, lines kept as
// read (scrolled sideways rather than wrapped), and a monospace view for terminal text and code.
#pragma once

#include <QDialog>

class QCheckBox;
class QPlainTextEdit;

namespace glimmora {

class CTextResultDlg : public QDialog {
    Q_OBJECT
  public:
    // Not modal, deletes itself when closed. monospace: the text came from a character grid (a terminal,
    // code), shown in the fixed-pitch font from the start.
    explicit CTextResultDlg(const QString& text, QWidget* parent = nullptr, bool monospace = false);
    QPlainTextEdit* Editor() const { return editor_; }
    QCheckBox* Monospace() const { return monospace_; }

  private:
    void UseMonospace(bool on);

    QPlainTextEdit* editor_;
    QCheckBox* monospace_;
};

}  // namespace glimmora
