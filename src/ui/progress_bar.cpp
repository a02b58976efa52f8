#include "ui/progress_bar.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QStatusBar>

namespace glimmora {

QString StatusPaneName(int pane) {
    return QStringLiteral("statusPane%1").arg(pane);
}

CProgressBar::CProgressBar() : QProgressBar(nullptr) {
    setTextVisible(false);
    setAccessibleName("Progress");
}

CProgressBar::~CProgressBar() {
    Clear();
}

namespace {

QStatusBar* StatusBarOf(QWidget* window) {
    if (!window) return nullptr;
    QStatusBar* bar = qobject_cast<QStatusBar*>(window);
    return bar ? bar : window->findChild<QStatusBar*>();
}

}  // namespace

bool CProgressBar::CanShowIn(QWidget* window, int pane) {
    QStatusBar* bar = StatusBarOf(window);
    return bar && (pane == 0 || bar->findChild<QLabel*>(StatusPaneName(pane)));
}

bool CProgressBar::Create(QWidget* window, const QString& text, int widthShare, int maximum, bool smooth,
                          int pane) {
    if (!CanShowIn(window, pane)) return false;
    QStatusBar* bar = StatusBarOf(window);
    QLabel* label = bar->findChild<QLabel*>(StatusPaneName(pane));
    statusBar_ = bar;
    paneLabel_ = label;
    setParent(bar);
    // A smooth bar is Qt's normal one; the chunked look was the platform's other style.
    Q_UNUSED(smooth);
    SetRange(0, maximum, 1);
    text_ = text;
    share_ = widthShare;
    pane_ = pane;
    previousText_ = PaneText();
    bar->installEventFilter(this);
    if (label) label->installEventFilter(this);
    show();
    Resize();
    return true;
}

QString CProgressBar::PaneText() const {
    if (paneLabel_) return paneLabel_->text();
    return statusBar_ ? statusBar_->currentMessage() : QString();
}

void CProgressBar::SetPaneText(const QString& text) {
    if (paneLabel_)
        paneLabel_->setText(text);
    else if (statusBar_)
        statusBar_->showMessage(text);
}

void CProgressBar::Resize() {
    if (!statusBar_) return;
    if (isVisible()) SetPaneText(text_);
    QRect pane = paneLabel_ ? QRect(paneLabel_->mapTo(statusBar_.data(), QPoint(0, 0)), paneLabel_->size())
                            : statusBar_->rect();
    if (!text_.isEmpty()) {
        const QFontMetrics metrics(statusBar_->font());
        pane.setLeft(pane.left() + metrics.horizontalAdvance(text_) + 4 * metrics.horizontalAdvance(' '));
    }
    const int width = pane.width();
    pane.setRight(std::max(pane.left(), pane.right() - (100 - share_) * width / 100));
    const int tenth = pane.height() / 10;
    pane.adjust(0, tenth, 0, -tenth);
    if (pane != lastRect_) {
        lastRect_ = pane;
        setGeometry(pane);
    }
}

bool CProgressBar::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == statusBar_ || watched == paneLabel_) &&
        (event->type() == QEvent::Resize || event->type() == QEvent::Move ||
         event->type() == QEvent::LayoutRequest))
        Resize();
    return QProgressBar::eventFilter(watched, event);
}

void CProgressBar::SetPos(int position) {
    if (!isVisible()) show();
    setValue(position);
}

void CProgressBar::SetRange(int low, int high, int step) {
    setRange(low, high);
    step_ = step;
}

void CProgressBar::SetStep(int step) {
    if (!isVisible()) show();
    step_ = step;
}

void CProgressBar::Clear() {
    if (!statusBar_) return;
    hide();
    SetPaneText(pane_ == 0 ? QString(kIdleMessage) : previousText_);
}

namespace {

// A paint costs far more than a row of most processors: the bar paints only when its percentage has
// changed, and at most about 30 times a second. It is only made when it is first due, so a run too short
// to be seen costs nothing.
constexpr qint64 kPaintIntervalMs = 33;

class StatusProgress : public ProgressSink {
  public:
    explicit StatusProgress(QWidget* window) : window_(window) { clock_.start(); }
    // The status bar owns the bar as its child; it may go first.
    ~StatusProgress() override { delete bar_.data(); }
    void Start() override {
        clock_.start();
        lastPaint_ = 0;
    }
    // The operation runs on this thread, so the bar paints now or not at all.
    void SetPercent(int percent) override {
        if (percent == shown_) return;
        const qint64 now = clock_.elapsed();
        if (now - lastPaint_ < kPaintIntervalMs) return;
        lastPaint_ = now;
        shown_ = percent;
        if (!bar_ && window_) {
            auto bar = std::make_unique<CProgressBar>();
            if (bar->Create(window_, QString(), 100, 100, true, 2)) bar_ = bar.release();
            window_.clear();
        }
        if (bar_) bar_->SetPos(percent);  // paints the bar at once
    }

  private:
    QPointer<QWidget> window_;  // until the bar is made
    QPointer<CProgressBar> bar_;
    QElapsedTimer clock_;
    qint64 lastPaint_ = 0;
    int shown_ = -1;
};

}  // namespace

std::unique_ptr<ProgressSink> StatusBarProgressHost::CreateProgress() {
    if (!CProgressBar::CanShowIn(window_, 2)) return nullptr;
    return std::make_unique<StatusProgress>(window_);
}

void StatusBarProgressHost::SetWaitCursor(bool on) {
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

}  // namespace glimmora
