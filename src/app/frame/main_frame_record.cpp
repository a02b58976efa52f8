// The main frame's screen recording: the three Record commands, the control window while one runs, and
// the file's name, end and errors.
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>

#include "app/frame/command_ids.h"
#include "app/frame/frame_icons.h"
#include "app/frame/main_frame.h"
#include "app/frame/main_frame_parts.h"
#include "app/frame/record_control.h"
#include "capture/auto_save.h"
#include "record/recorder.h"

namespace glimmora {

using namespace frame_parts;

namespace {
constexpr const char* kExtensions[] = {".webm", ".mp4", ".gif"};
constexpr record::Format kFormats[] = {record::Format::WebM, record::Format::Mp4, record::Format::Gif};

// The program's icon with a red dot: a recording runs.
QIcon RecordingIcon() {
    QPixmap pixmap = ApplicationIcon().pixmap(64, 64);
    if (pixmap.isNull()) pixmap = QPixmap(64, 64), pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 3));
    painter.setBrush(QColor(220, 30, 30));
    painter.drawEllipse(QRectF(30, 30, 31, 31));
    return QIcon(pixmap);
}

// The desktop's rectangle of what is recorded, for the control window to keep out of.
QRect RecordedArea(const CastRequest& request, Platform& platform) {
    switch (request.kind) {
        case CastRequest::Kind::Rect:
        case CastRequest::Kind::Window:
            return QRect(QPoint(request.rect.left, request.rect.top),
                         QPoint(request.rect.right - 1, request.rect.bottom - 1));
        case CastRequest::Kind::Monitor: {
            const Rect r = platform.screen().Layout().PlaceOf(static_cast<size_t>(request.monitor));
            return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
        }
        case CastRequest::Kind::Screen:
            break;
    }
    const Size size = platform.screen().ScreenSize();
    return QRect(0, 0, size.width, size.height);
}
}  // namespace

QString CMainFrame::RecordRefusal(int command) const {
    if (command == cmd::kStopRecording || command == cmd::kPauseRecording)
        return recorder_ ? QString() : QString("No recording is running.");
    if (!capturer_ || !platform_) return "Glimmora has no desktop to record.";
    if (recorder_) return "A recording is already running; stop it first.";
    return RequestRefusal();
}

bool CMainFrame::RecordCommand(int id) {
    switch (id) {
        case cmd::kRecordRegion:
        case cmd::kRecordWindow:
        case cmd::kRecordScreen:
            StartRecording(id);
            return true;
        case cmd::kStopRecording:
            StopRecording();
            return true;
        case cmd::kPauseRecording:
            TogglePauseRecording();
            return true;
        default:
            return false;
    }
}

bool CMainFrame::RecordCommandState(int id, bool* enabled, bool* checked) {
    switch (id) {
        case cmd::kRecordRegion:
        case cmd::kRecordWindow:
        case cmd::kRecordScreen:
            // Enabled while one runs, so choosing it says why nothing starts.
            *enabled = capturer_ != nullptr;
            return true;
        case cmd::kStopRecording:
            *enabled = recorder_ && !recordStopping_;
            return true;
        case cmd::kPauseRecording:
            *enabled = recorder_ && !recordStopping_;
            *checked = recorder_ && recorder_->State() == record::RecordState::Paused;
            return true;
        default:
            (void)checked;
            return false;
    }
}

std::string CMainFrame::RecordingPath(const std::string& extension) {
    // With automatic saving on, beside the captures; else in the desktop's videos folder, where a player
    // and the file manager look first. The file is written while recording, so its name is needed before.
    std::string folder = m_settings.ImageSavePath;
    if (!m_settings.IsAudoSave) {
        const QString videos = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
        if (!videos.isEmpty() && QDir().mkpath(videos)) folder = QFile::encodeName(videos).toStdString();
    }
    return NumberedSavePath(m_settings, folder, extension);
}

void CMainFrame::StartRecording(int command) {
    if (const QString why = RecordRefusal(command); !why.isEmpty()) {
        SetStatusText(2, why);
        // Asked from the tray while the window is hidden: the status bar is out of sight.
        if (!isVisible() || isMinimized()) tray_.ShowMessage(kCaption, why);
        return;
    }
    if (openRecording_) openRecording_->hide();
    SetStatusText(2, QString());
    const Capturer::RecordArea area = command == cmd::kRecordRegion   ? Capturer::RecordArea::Region
                                      : command == cmd::kRecordWindow ? Capturer::RecordArea::Window
                                                                      : Capturer::RecordArea::Screen;
    CastRequest request;
    if (!capturer_->PickRecordArea(area, request)) {
        SetStatusText(2, "No recording: nothing was chosen.");
        return;
    }
    const int format =
        m_settings.RecordFormat >= 0 && m_settings.RecordFormat < 3 ? m_settings.RecordFormat : 0;
    record::RecordOptions options;
    options.format = kFormats[format];
    options.fps = m_settings.RecordFps;
    options.quality = m_settings.RecordQuality;
    options.path = RecordingPath(kExtensions[format]);
    std::string error;
    CastSource source;
    auto recorder = std::make_unique<record::Recorder>();
    if (!platform_->OpenCast(request, source, &error) || !recorder->Start(source, options, &error)) {
        ShowMain(ShowState::ShowNoActivate);
        SetStatusText(2, "Nothing was recorded.");
        MessageBox("Nothing was recorded: " + error);
        return;
    }
    // The recorder calls from a thread of its own; the end is handled on this one.
    recorder->OnFinished([self = QPointer<CMainFrame>(this)](const record::RecordResult& result) {
        QMetaObject::invokeMethod(
            qApp,
            [self, result] {
                if (self) self->RecordingFinished(result);
            },
            Qt::QueuedConnection);
    });
    recorder_ = std::move(recorder);
    recordPath_ = options.path;
    recordStopping_ = false;

    recordControl_ = new RecordControl;
    connect(recordControl_, &RecordControl::pauseClicked, this, &CMainFrame::TogglePauseRecording);
    connect(recordControl_, &RecordControl::stopClicked, this, &CMainFrame::StopRecording);
    recordControl_->PlaceOutside(RecordedArea(request, *platform_));
    recordControl_->show();
    recordTimer_ = new QTimer(this);
    connect(recordTimer_, &QTimer::timeout, this, [this] {
        if (recorder_ && recordControl_ && !recordStopping_) recordControl_->SetElapsed(recorder_->Elapsed());
    });
    recordTimer_->start(250);
    ShowRecordingState(true);
    SetStatusText(2, "Recording to " + QFile::decodeName(recordPath_.c_str()) + "; Stop ends it.");
}

void CMainFrame::StopRecording() {
    if (!recorder_) {
        SetStatusText(2, "No recording is running.");
        return;
    }
    if (recordStopping_) return;
    recordStopping_ = true;
    if (recordControl_) recordControl_->SetFinishing();
    recorder_->Stop();
}

void CMainFrame::TogglePauseRecording() {
    if (!recorder_ || recordStopping_) return;
    const bool pause = recorder_->State() != record::RecordState::Paused;
    if (pause)
        recorder_->Pause();
    else
        recorder_->Resume();
    if (recordControl_) recordControl_->SetPaused(pause);
    ShowRecordingState(true);
}

void CMainFrame::ShowRecordingState(bool recording) {
    const bool paused = recording && recorder_ && recorder_->State() == record::RecordState::Paused;
    tray_.SetToolTip(!recording ? QString(kCaption)
                     : paused   ? QString("Glimmora: recording paused")
                                : QString("Glimmora: recording"));
    tray_.SetIcon(recording ? RecordingIcon() : ApplicationIcon());
    UpdateCommandUi();
}

void CMainFrame::FinishRecordingNow() {
    if (recorder_) {
        recorder_->Stop();
        recorder_->Wait(-1);
        recorder_.reset();
    }
    delete recordControl_;
    recordControl_ = nullptr;
    delete recordTimer_;
    recordTimer_ = nullptr;
}

void CMainFrame::RecordingFinished(const record::RecordResult& result) {
    if (!recorder_) return;
    recorder_->Wait(-1);
    recorder_.reset();
    recordStopping_ = false;
    if (recordTimer_) recordTimer_->deleteLater();
    recordTimer_ = nullptr;
    if (recordControl_) recordControl_->deleteLater();
    recordControl_ = nullptr;
    ShowRecordingState(false);
    const QString path = QFile::decodeName(recordPath_.c_str());
    // There is no tab for a recording: the window comes back with the file's place in its status bar.
    ShowMain(ShowState::ShowNoActivate);
    if (m_settings.RestoreWndAftCap) ActivateMain();
    if (result.ok || result.playable) {
        lastRecording_ = path;
        if (!openRecording_) {
            openRecording_ = new QPushButton("Open Recording", statusBar());
            openRecording_->setObjectName("OpenRecording");
            openRecording_->setAccessibleName("Open the recording");
            connect(openRecording_, &QPushButton::clicked, this,
                    [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(lastRecording_)); });
            statusBar()->addPermanentWidget(openRecording_);
        }
        openRecording_->setToolTip(path);
        openRecording_->show();
        SetStatusText(
            2, QString("Recorded %1 s to %2").arg(QString::number(result.seconds, 'f', 1), path) +
                   (result.note.empty() ? QString() : " (" + QString::fromStdString(result.note) + ")"));
    } else {
        SetStatusText(2, "The recording failed.");
    }
    if (!result.ok)
        MessageBox("The recording stopped: " + result.error +
                   (result.playable ? "\n\nWhat was recorded before that is in " + recordPath_ + "."
                                    : std::string()));
    emit recordingFinished(result.ok);
}

}  // namespace glimmora
