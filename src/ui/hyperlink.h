// A static text that behaves like a web link.
#pragma once

#include <QBasicTimer>
#include <QColor>
#include <QFont>
#include <QLabel>

namespace glimmora {

// "Unable to open hyperlink:\n\n" is followed by this reason for a failed open's result code.
QString HyperlinkErrorText(int code);

class HyperLink : public QLabel {
    Q_OBJECT
  public:
    enum Underline { kUnderlineHover = -1, kUnderlineNever = 0, kUnderlineAlways = 1 };
    static constexpr int kHoverTimerId = 100;
    static constexpr int kHoverPeriodMs = 100;

    // An empty url takes the text, an empty text the url.
    HyperLink(const QString& text, const QString& url = {}, QWidget* parent = nullptr);
    ~HyperLink() override;

    void SetURL(const QString& url);
    QString URL() const { return url_; }
    void SetColours(QColor link, QColor visited, QColor hover);
    void SetUnderline(int mode);
    void SetAdjustToFit(bool on) { adjustToFit_ = on; }
    void SetVisited(bool on);
    bool IsVisited() const { return visited_; }
    bool IsHovering() const { return hovering_; }
    bool IsHoverTimerRunning() const { return hoverTimer_.isActive(); }
    QColor TextColour() const;

    // Opens the link as a click does; true when it could be opened. A failure beeps and shows the reason.
    bool Open();

  signals:
    // The result code of a failed open, after its message box.
    void openFailed(int code);

  protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    void StartHover();
    void EndHover();
    void Restyle();
    void Fit();

    QString url_;
    QColor link_{0, 0, 238};
    QColor visitedColour_{85, 26, 139};
    QColor hover_{255, 0, 0};
    bool hovering_ = false;
    bool visited_ = false;
    int underline_ = kUnderlineHover;
    bool adjustToFit_ = true;
    QFont normalFont_, underlinedFont_;
    QBasicTimer hoverTimer_;
};

}  // namespace glimmora
