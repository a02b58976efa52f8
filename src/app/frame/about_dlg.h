// The About box.
#pragma once

#include <QDialog>

namespace glimmora {

inline constexpr char kHomePage[] = "https://glimmora.example/";
inline constexpr char kSupportPage[] = "https://glimmora.example/support";

class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace glimmora
