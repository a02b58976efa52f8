#include "ui/hyperlink.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTimerEvent>
#include <QUrl>

namespace glimmora {

QString HyperlinkErrorText(int code) {
    switch (code) {
        case 0:
            return "The operating system is out\nof memory or resources.";
        case 2:
            return "The specified file was not found.";
        case 3:
            return "The specified path was not found.";
        case 5:
            return "The operating system denied\naccess to the specified file.";
        case 8:
            return "There was not enough memory to complete the operation.";
        case 11:
            return "The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).";
        case 26:
            return "A sharing violation occurred. ";
        case 27:
            return "The filename association is\nincomplete or invalid.";
        case 28:
            return "The DDE transaction could not\nbe completed because the request timed out.";
        case 29:
            return "The DDE transaction failed.";
        case 30:
            return "The DDE transaction could not\nbe completed because other DDE transactions\nwere being "
                   "processed.";
        case 31:
            return "There is no application associated\nwith the given filename extension.";
        case 32:
            return "The specified dynamic-link library was not found.";
        default:
            return QString("Unknown Error (%1) occurred.").arg(code);
    }
}

namespace {

// Result codes as the old shell call gave them: above 32 is success.
constexpr int kOpened = 33;
constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kNoAssociation = 31;

int OpenUrl(const QString& target) {
    const QUrl url = QUrl::fromUserInput(target);
    if (!url.isValid()) return kFileNotFound;
    if (url.isLocalFile()) {
        const QFileInfo file(url.toLocalFile());
        if (!file.dir().exists()) return kPathNotFound;
        if (!file.exists()) return kFileNotFound;
    }
    return QDesktopServices::openUrl(url) ? kOpened : kNoAssociation;
}

}  // namespace

HyperLink::HyperLink(const QString& text, const QString& url, QWidget* parent)
    : QLabel(text, parent), url_(url) {
    if (url_.isEmpty()) url_ = text;
    if (text.isEmpty()) setText(url_);
    setAccessibleName(this->text());
    setAccessibleDescription(url_);
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
    setToolTip(url_);
    setFocusPolicy(Qt::TabFocus);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
    setPalette(pal);
    setAutoFillBackground(true);
    normalFont_ = font();
    underlinedFont_ = font();
    underlinedFont_.setUnderline(true);
    Restyle();
    Fit();
}

HyperLink::~HyperLink() {
    hoverTimer_.stop();
}

void HyperLink::SetURL(const QString& url) {
    url_ = url;
    setToolTip(url_);
    setAccessibleDescription(url_);
    Fit();
}

void HyperLink::SetColours(QColor link, QColor visited, QColor hover) {
    link_ = link;
    visitedColour_ = visited;
    hover_ = hover;
    Restyle();
}

void HyperLink::SetUnderline(int mode) {
    underline_ = mode;
    Restyle();
    Fit();
}

void HyperLink::SetVisited(bool on) {
    visited_ = on;
    Restyle();
}

QColor HyperLink::TextColour() const {
    return hovering_ ? hover_ : visited_ ? visitedColour_ : link_;
}

void HyperLink::Restyle() {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, TextColour());
    setPalette(pal);
    const bool underlined = underline_ == kUnderlineAlways || (underline_ == kUnderlineHover && hovering_);
    setFont(underlined ? underlinedFont_ : normalFont_);
    update();
}

// The window takes the size of its text (measured underlined, so hovering never changes it).
void HyperLink::Fit() {
    if (!adjustToFit_) return;
    const QFontMetrics metrics(underlinedFont_);
    const QRect text = metrics.boundingRect(QRect(), Qt::TextShowMnemonic, this->text());
    const QMargins m = contentsMargins();
    const QSize size(text.width() + m.left() + m.right() + 2 * margin(),
                     text.height() + m.top() + m.bottom() + 2 * margin());
    QRect g = geometry();
    if (alignment() & Qt::AlignHCenter)
        g.setLeft(g.center().x() - size.width() / 2);
    else if (alignment() & Qt::AlignRight)
        g.setLeft(g.right() + 1 - size.width());
    if (alignment() & Qt::AlignVCenter) g.setTop(g.center().y() - size.height() / 2);
    g.setSize(size);
    setMinimumSize(size);
    setGeometry(g);
}

void HyperLink::StartHover() {
    hovering_ = true;
    Restyle();
    hoverTimer_.start(kHoverPeriodMs, this);
}

void HyperLink::EndHover() {
    hoverTimer_.stop();
    hovering_ = false;
    Restyle();
}

void HyperLink::mouseMoveEvent(QMouseEvent* event) {
    if (!hovering_) StartHover();
    QLabel::mouseMoveEvent(event);
}

void HyperLink::timerEvent(QTimerEvent* event) {
    if (event->timerId() != hoverTimer_.timerId()) {
        QLabel::timerEvent(event);
        return;
    }
    if (!rect().contains(mapFromGlobal(QCursor::pos()))) EndHover();
}

void HyperLink::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) Open();
    QLabel::mouseReleaseEvent(event);
}

// Reached with Tab, the link opens from the keyboard as well.
void HyperLink::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        Open();
        return;
    }
    QLabel::keyPressEvent(event);
}

bool HyperLink::Open() {
    if (hovering_) EndHover();
    const int code = OpenUrl(url_);
    if (code > 32) {
        SetVisited(true);
        return true;
    }
    SetVisited(false);
    QApplication::beep();
    QMessageBox box(QMessageBox::Warning, "Glimmora",
                    "Unable to open hyperlink:\n\n" + HyperlinkErrorText(code), QMessageBox::Ok);
    box.exec();
    emit openFailed(code);
    return false;
}

}  // namespace glimmora
