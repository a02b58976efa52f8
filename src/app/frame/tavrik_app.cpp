#include "app/frame/tavrik_app.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMdiArea>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <cstdio>
#include <cstring>

#include "app/frame/about_dlg.h"
#include "app/frame/child_frame.h"
#include "app/frame/command_ids.h"
#include "app/frame/main_frame.h"
#include "app/frame/recovery_keeper.h"
#include "app/settings/app_settings.h"
#include "app/settings/program_directory.h"
#include "editor/tavrik_doc.h"
#include "image/codecs/image_codec.h"
#include "ui/tool_option_bar.h"

namespace glimmora {

QString QtFileFilter(const char* filter) {
    const QStringList parts = QString(filter).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) break;
        // The stored names carry their own "(*.jpg, *.jpeg)", which Qt would read as the patterns (the
        // comma included): the name goes without it, the real patterns once.
        QString name = parts[i];
        if (const qsizetype open = name.lastIndexOf(" ("); open > 0 && name.endsWith(')'))
            name.truncate(open);
        QString patterns = parts[i + 1];
        patterns.replace(';', ' ');
        filters << QString("%1 (%2)").arg(name, patterns);
    }
    return filters.join(";;");
}

CTavrikApp::CTavrikApp() = default;

CTavrikApp::~CTavrikApp() {
    frame_.reset();
}

bool CTavrikApp::InitInstance(const std::string& settingsPath) {
    // Stamps, documents and saves all read and write through the FreeImage codecs.
    SetFactory(std::make_unique<FreeImageCodecFactory>());
    QCoreApplication::setApplicationName(kProfileApplication);
    const std::string path = settingsPath.empty() ? SettingsFilePath() : settingsPath;
    if (path.empty()) {
        std::fprintf(stderr,
                     "glimmora: there is no home folder to keep the settings in: set HOME (or "
                     "XDG_CONFIG_HOME) to a folder of yours.\n");
        return false;
    }
    statePath_ = QString::fromStdString(StateFilePathFor(path));
    // Users of the earlier version keep their recent files and bar layout.
    CarryOverEarlierState(EarlierStateFilePath(), StateFilePathFor(path));
    LoadRecentFiles();

    std::string error;
    platform_ = Platform::Open({}, &error);
    if (!platform_) std::fprintf(stderr, "glimmora: no desktop to capture from: %s\n", error.c_str());

    recovery_ = std::make_unique<RecoveryKeeper>(*this, RecoveryFolder());
    // SIGTERM ends the run as Exit does, without prompts: the edits are in the recovery folder.
    recovery_->SetQuit([this] {
        if (frame_)
            for (CChildFrame* child : frame_->Children()) child->Document()->modified = 0;
        if (!frame_ || !frame_->close()) QCoreApplication::quit();
    });
    frame_ = std::make_unique<CMainFrame>(*this, platform_.get());
    if (!frame_->Create(path)) {
        frame_.reset();
        return false;
    }
    frame_->setWindowTitle("Glimmora");
    frame_->show();
    frame_->PublishOnBus();
    QTimer::singleShot(0, recovery_.get(), &RecoveryKeeper::OfferOrphans);
    return true;
}

bool CTavrikApp::HasCommand(int id) const {
    switch (id) {
        case cmd::kNew:
        case cmd::kOpen:
        case cmd::kPrintSetup:
        case cmd::kHelp:
        case cmd::kAbout:
            return true;
        case cmd::kCaptureFullScreen:
        case cmd::kCaptureRegion:
        case cmd::kCaptureWindow:
        case cmd::kCaptureActiveWindow:
        case cmd::kCaptureScroll:
        case cmd::kCaptureFixRect:
        case cmd::kCaptureText:
        case cmd::kCaptureScreen:
            return true;
        default:
            return false;
    }
}

bool CTavrikApp::OnCommand(int id) {
    switch (id) {
        case cmd::kNew:
            OnFileNew();
            return true;
        case cmd::kOpen:
            OnFileOpen();
            return true;
        case cmd::kPrintSetup:
            OnFilePrintSetup();
            return true;
        case cmd::kHelp:
            OnHelp();
            return true;
        case cmd::kAbout:
            OnAppAbout();
            return true;
        default:
            break;
    }
    if (!HasCommand(id)) return false;
    if (!frame_->Capture()) {
        QMessageBox box(QMessageBox::Warning, "Glimmora", "There is no X display to capture from.",
                        QMessageBox::Ok);
        box.exec();
        return true;
    }
    static constexpr struct {
        int id;
        int mode;
    } kCaptures[] = {{cmd::kCaptureFullScreen, kHotkeyFullScreen},
                     {cmd::kCaptureRegion, kHotkeyRegion},
                     {cmd::kCaptureWindow, kHotkeyWindow},
                     {cmd::kCaptureActiveWindow, kHotkeyActiveWindow},
                     {cmd::kCaptureScroll, kHotkeyScroll},
                     {cmd::kCaptureFixRect, kHotkeyFixRect},
                     {cmd::kCaptureText, kHotkeyText},
                     {cmd::kCaptureScreen, kHotkeyScreen}};
    for (const auto& c : kCaptures)
        if (c.id == id) frame_->RunCapture(c.mode);
    emit frame_->requestHandled(0);
    return true;
}

CChildFrame* CTavrikApp::NewDocumentWindow() {
    auto doc = std::make_unique<CTavrikDoc>();
    doc->SetTitle(QString("Capture%1").arg(++untitledCount_));
    return frame_->AddDocumentWindow(std::move(doc));
}

void CTavrikApp::OnFileNew() {
    CChildFrame* child = NewDocumentWindow();
    Image blank;
    if (blank.Create(640, 480, 32)) {
        for (int y = 0; y < blank.Height(); ++y)
            std::memset(blank.Row(y), 0xFF, static_cast<size_t>(640) * 4);
        child->Document()->SetNewImage(blank);
    }
    child->Document()->SetModified(1);
    frame_->ShowCurrentToolPanel();
}

CChildFrame* CTavrikApp::NewDocumentForCapture() {
    CChildFrame* child = NewDocumentWindow();
    frame_->ShowCurrentToolPanel();
    return child;
}

void CTavrikApp::NoteRestoredTitle(const QString& title) {
    if (!title.startsWith("Capture")) return;
    bool ok = false;
    const int n = title.mid(7).toInt(&ok);
    if (ok && n > untitledCount_) untitledCount_ = n;
}

void CTavrikApp::OnFileOpen() {
    QFileDialog dialog(nullptr, {}, {}, QtFileFilter(kOpenFilter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix("bmp");
    dialog.setDirectory(StartFolder());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    NoteFolder(dialog.selectedFiles().first());
    OpenDocumentFile(QFile::encodeName(dialog.selectedFiles().first()).toStdString());
}

CChildFrame* CTavrikApp::OpenDocumentFile(const std::string& path) {
    const QString absolute = QFileInfo(QFile::decodeName(path.c_str())).absoluteFilePath();
    // A file already open is shown, not opened twice.
    for (CChildFrame* child : frame_->Children()) {
        if (QString::fromStdString(child->Document()->PathName()) == absolute) {
            frame_->MdiArea()->setActiveSubWindow(child);
            return child;
        }
    }
    auto doc = std::make_unique<CTavrikDoc>();
    doc->SetPrompts(frame_.get());
    if (!doc->OnOpenDocument(QFile::encodeName(absolute).toStdString())) return nullptr;
    CChildFrame* child = frame_->AddDocumentWindow(std::move(doc));
    AddToRecentFiles(absolute);
    frame_->ShowCurrentToolPanel();
    return child;
}

void CTavrikApp::OnFilePrintSetup() {
    QPrinter printer;
    QPageSetupDialog dialog(&printer, frame_.get());
    dialog.exec();
}

std::string CTavrikApp::HelpPagePath() {
    return DataDirectory() + "help/index.html";
}

void CTavrikApp::OnHelp() {
    const QString page = QString::fromStdString(HelpPagePath());
    if (!QFileInfo::exists(page)) {
        QMessageBox box(QMessageBox::Warning, "Glimmora", "The help page " + page + " could not be found.",
                        QMessageBox::Ok);
        box.exec();
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(page))) {
        QMessageBox box(QMessageBox::Warning, "Glimmora",
                        "No web browser could be started to show " + page + ".", QMessageBox::Ok);
        box.exec();
    }
}

void CTavrikApp::OnAppAbout() {
    CAboutDlg dialog(frame_.get());
    dialog.exec();
}

QString CTavrikApp::StartFolder() const {
    QSettings profile(statePath_, QSettings::IniFormat);
    const QString last = profile.value("Settings/LastFolder").toString();
    if (!last.isEmpty() && QFileInfo(last).isDir()) return last;
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    return QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
}

void CTavrikApp::NoteFolder(const QString& file) {
    QSettings profile(statePath_, QSettings::IniFormat);
    profile.setValue("Settings/LastFolder", QFileInfo(file).absolutePath());
}

void CTavrikApp::LoadRecentFiles() {
    QSettings profile(statePath_, QSettings::IniFormat);
    recent_.clear();
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString path = profile.value(QString("Recent File List/File%1").arg(i)).toString();
        if (!path.isEmpty()) recent_ << path;
    }
}

void CTavrikApp::SaveRecentFiles() {
    QSettings profile(statePath_, QSettings::IniFormat);
    profile.remove("Recent File List");
    for (int i = 0; i < recent_.size(); ++i)
        profile.setValue(QString("Recent File List/File%1").arg(i + 1), recent_[i]);
}

void CTavrikApp::AddToRecentFiles(const QString& path) {
    if (path.isEmpty()) return;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    recent_.removeAll(absolute);
    recent_.prepend(absolute);
    while (recent_.size() > kRecentFileCount) recent_.removeLast();
    SaveRecentFiles();
}

void CTavrikApp::OpenRecentFile(int index) {
    if (index < 0 || index >= recent_.size()) return;
    const QString path = recent_[index];
    // An entry that no longer opens leaves the list.
    if (!OpenDocumentFile(QFile::encodeName(path).toStdString())) {
        recent_.removeAll(path);
        SaveRecentFiles();
    }
}

}  // namespace glimmora
