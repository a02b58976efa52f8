#include "app/frame/tray_icon.h"

#include <QMenu>
#include <QSystemTrayIcon>

namespace glimmora {

TrayIcon::TrayIcon() = default;
TrayIcon::~TrayIcon() = default;

bool TrayIcon::Init(QWidget* owner, int id, const QIcon& icon, const QString& tip) {
    if (!owner) return false;
    owner_ = owner;
    id_ = id;
    icon_ = std::make_unique<QSystemTrayIcon>(icon);
    // The record of old held 64 bytes of tip with its terminator.
    icon_->setToolTip(tip.left(63));
    connect(icon_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) emit leftClicked();
    });
    return true;
}

void TrayIcon::SetMenu(QMenu* menu) {
    if (icon_ && owner_) icon_->setContextMenu(menu);
}

void TrayIcon::SetToolTip(const QString& tip) {
    if (icon_) icon_->setToolTip(tip.left(63));
}

void TrayIcon::SetIcon(const QIcon& icon) {
    if (icon_) icon_->setIcon(icon);
}

void TrayIcon::ShowMessage(const QString& title, const QString& text) {
    if (icon_ && icon_->isVisible()) icon_->showMessage(title, text, QSystemTrayIcon::Information);
}

bool TrayIcon::Add() {
    if (!icon_) return false;
    icon_->show();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool TrayIcon::Remove() {
    if (!icon_) return false;
    icon_->hide();
    return true;
}

bool TrayIcon::IsAdded() const {
    return icon_ && icon_->isVisible();
}

QRect TrayIcon::Geometry() const {
    return icon_ && icon_->isVisible() ? icon_->geometry() : QRect();
}

}  // namespace glimmora
