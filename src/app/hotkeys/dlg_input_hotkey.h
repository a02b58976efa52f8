// "Set hot key": records one combination for a capture mode.
#pragma once

#include <QDialog>
#include <QString>

#include "capture/settings_record.h"

class QLabel;
class QPushButton;

namespace glimmora {

class HotkeyEdit;

class CDlgInputHotKey : public QDialog {
    Q_OBJECT
  public:
    // Edits *combination in place on OK; Cancel leaves it alone. title names the mode ("Capture Region").
    CDlgInputHotKey(HotkeySetting* combination, const QString& title, QWidget* parent = nullptr);

    HotkeyEdit* Recorder() const { return recorder_; }

  public slots:
    void accept() override;

  private:
    HotkeySetting* combination_;
    QLabel* label_;
    HotkeyEdit* recorder_;
};

}  // namespace glimmora
