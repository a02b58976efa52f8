// The About box.
#pragma once

#include <QDialog>

namespace glimmora {

inline constexpr char kHomePage[] = GLIMMORA_HOMEPAGE;
inline constexpr char kSupportPage[] = GLIMMORA_HOMEPAGE "support";

class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace glimmora
