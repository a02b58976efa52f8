// A progress bar inside a pane of the main window's status bar, and the document's progress through it.
#pragma once

#include <QPointer>
#include <QProgressBar>
#include <QRect>
#include <memory>

#include "editor/document_host.h"

class QLabel;
class QStatusBar;

namespace glimmora {

// The status bar's panes are labels with these object names; pane 0 may also be the bar's own message.
QString StatusPaneName(int pane);
// The idle text of pane 0.
inline constexpr char kIdleMessage[] = "Ready";

class CProgressBar : public QProgressBar {
    Q_OBJECT
  public:
    CProgressBar();
    ~CProgressBar() override;

    // Whether Create would find the status bar and the pane.
    static bool CanShowIn(QWidget* window, int pane);
    // window: the main window or its status bar. False when there is no status bar or no such pane.
    bool Create(QWidget* window, const QString& text, int widthShare, int maximum, bool smooth, int pane);
    void SetPos(int position);
    void SetRange(int low, int high, int step);
    void SetStep(int step);
    int Step() const { return step_; }
    // Hides the bar and gives the pane its text back ("Ready" for pane 0).
    void Clear();
    // Places the bar in its pane again (the pane or the status bar changed size).
    void Resize();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QString PaneText() const;
    void SetPaneText(const QString& text);

    QPointer<QStatusBar> statusBar_;
    QPointer<QLabel> paneLabel_;
    QString text_;
    int share_ = 100;
    int pane_ = 0;
    int step_ = 1;
    QString previousText_;
    QRect lastRect_;
};

// What the document uses: a fresh bar in pane 2 for each operation long enough to show it, and the wait
// cursor.
class StatusBarProgressHost : public ProgressHost {
  public:
    explicit StatusBarProgressHost(QWidget* window) : window_(window) {}
    std::unique_ptr<ProgressSink> CreateProgress() override;
    void SetWaitCursor(bool on) override;

  private:
    QPointer<QWidget> window_;
};

}  // namespace glimmora
