// One document window: a tab of the main frame holding the document and its view.
#pragma once

#include <QMdiSubWindow>
#include <memory>

#include "capture/capture_host.h"

namespace glimmora {

class CTavrikDoc;
class CTavrikView;

class CChildFrame : public QMdiSubWindow, public CaptureDocument {
    Q_OBJECT

  public:
    // Takes the document; the view is made here.
    explicit CChildFrame(std::unique_ptr<CTavrikDoc> doc, QWidget* parent = nullptr);
    ~CChildFrame() override;

    CTavrikDoc* Document() const { return doc_.get(); }
    CTavrikView* View() const { return view_; }

    // CaptureDocument
    void RecordState() override;
    void TakeCapture(Image image) override;
    void SetPathName(const std::string& path) override;

  signals:
    void pathEntered(const QString& path);

  protected:
    // A changed document asks first (Yes, No, Cancel); Cancel keeps the window.
    void closeEvent(QCloseEvent* event) override;

  private:
    std::unique_ptr<CTavrikDoc> doc_;
    CTavrikView* view_ = nullptr;
};

}  // namespace glimmora
