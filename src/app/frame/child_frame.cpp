#include "app/frame/child_frame.h"

#include <QCloseEvent>

#include "editor/tavrik_doc.h"
#include "editor/tavrik_view.h"

namespace glimmora {

CChildFrame::CChildFrame(std::unique_ptr<CTavrikDoc> doc, QWidget* parent)
    : QMdiSubWindow(parent), doc_(std::move(doc)) {
    setAttribute(Qt::WA_DeleteOnClose);
    view_ = new CTavrikView(doc_.get(), this);
    doc_->SetFirstView(view_);
    setWidget(view_);
    setWindowTitle(doc_->Title());
    connect(doc_.get(), &CTavrikDoc::titleChanged, this, &QWidget::setWindowTitle);
}

CChildFrame::~CChildFrame() {
    // The view goes before the document it shows.
    doc_->SetFirstView(nullptr);
    delete view_;
}

void CChildFrame::RecordState() {
    doc_->RecordState(doc_->image);
}

void CChildFrame::TakeCapture(Image image) {
    doc_->SetNewImage(image);
}

void CChildFrame::SetPathName(const std::string& path) {
    doc_->SetPathName(path);
    emit pathEntered(QString::fromStdString(path));
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    if (!doc_->OnCloseDocument()) {
        event->ignore();
        return;
    }
    QMdiSubWindow::closeEvent(event);
}

}  // namespace glimmora
