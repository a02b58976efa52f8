// The close prompt for one changed document: Yes, No, Save None or Cancel.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace glimmora {

class CExitHintDlg : public QDialog {
    Q_OBJECT

  public:
    // Results: the identifiers of the buttons.
    static constexpr int kYes = 1000;
    static constexpr int kNo = 1001;
    static constexpr int kSaveNone = 1002;
    static constexpr int kCancel = 1003;

    explicit CExitHintDlg(const QString& title, QWidget* parent = nullptr);

  protected:
    // Enter and Escape answer Cancel: anything else would let the close go on past a changed picture.
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override { done(kCancel); }
};

}  // namespace glimmora
