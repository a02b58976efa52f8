// The notification-area icon with its menu.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace glimmora {

class TrayIcon : public QObject {
    Q_OBJECT

  public:
    TrayIcon();
    ~TrayIcon() override;

    // False without an owner.
    bool Init(QWidget* owner, int id, const QIcon& icon, const QString& tip);
    // The menu shown on a right click; not owned.
    void SetMenu(QMenu* menu);
    void SetToolTip(const QString& tip);
    void SetIcon(const QIcon& icon);
    // A balloon by the icon, where the notification area shows them.
    void ShowMessage(const QString& title, const QString& text);
    bool Add();
    bool Remove();
    bool IsAdded() const;
    // The icon's place on the screen, empty when it is not shown.
    QRect Geometry() const;
    int Id() const { return id_; }

  signals:
    // A left click on the icon.
    void leftClicked();

  private:
    QWidget* owner_ = nullptr;
    int id_ = 0;
    std::unique_ptr<QSystemTrayIcon> icon_;
};

}  // namespace glimmora
