#include "app/frame/about_dlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/hyperlink.h"

namespace glimmora {

namespace {
// The banner across the top: drawn here rather than shipped as a bitmap.
QPixmap Banner(int width, int height, qreal scale) {
    QPixmap pixmap(QSize(width, height) * scale);
    pixmap.setDevicePixelRatio(scale);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, width, height);
    g.setColorAt(0, QColor(0x20, 0x4a, 0x87));
    g.setColorAt(1, QColor(0x72, 0x9f, 0xcf));
    p.fillRect(QRect(0, 0, width, height), g);
    p.setPen(QPen(QColor(255, 255, 255, 200), 3));
    p.drawRoundedRect(QRectF(16, 14, height - 28, height - 28), 6, 6);
    p.drawEllipse(QRectF(26, 24, height - 48, height - 48));
    QFont font("Liberation Sans");
    font.setPixelSize(height / 3);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(height + 4, 0, width - height - 8, height), Qt::AlignVCenter | Qt::AlignLeft,
               "Glimmora");
    return pixmap;
}
}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Glimmora!");
    auto* layout = new QVBoxLayout(this);
    auto* banner = new QLabel(this);
    banner->setPixmap(Banner(360, 80, devicePixelRatioF()));
    banner->setAccessibleName("Glimmora");
    layout->addWidget(banner);
    auto* version = new QLabel("v 1.5.0", this);
    layout->addWidget(version);
    auto* links = new QGridLayout;
    links->addWidget(new QLabel("Homepage:", this), 0, 0);
    auto* home = new HyperLink(kHomePage, kHomePage, this);
    home->setObjectName("link1042");
    links->addWidget(home, 0, 1);
    links->addWidget(new QLabel("Support:", this), 1, 0);
    auto* support = new HyperLink(kSupportPage, kSupportPage, this);
    support->setObjectName("link1043");
    links->addWidget(support, 1, 1);
    links->setColumnStretch(1, 1);
    layout->addLayout(links);
    auto* notice = new QLabel("Glimmora is free software for capturing and annotating the screen.", this);
    notice->setWordWrap(true);
    layout->addWidget(notice);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    // Enter closes the box; it would otherwise open the first link, which has the focus first.
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setDefault(true);
    ok->setFocus();
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace glimmora
