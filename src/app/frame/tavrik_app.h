// The application object: start-up, the document type, the recent files and the application's commands.
#pragma once

#include <QObject>
#include <QStringList>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace glimmora {

class CChildFrame;
class CMainFrame;
class RecoveryKeeper;

inline constexpr char kProfileApplication[] = "Glimmora";
inline constexpr char kOpenFilter[] =
    "All Support Files|*.bmp;*.jpg;*.jpeg;*.gif;*.png;*.tiff;*.tif;*.pcx|BMP (*.bmp)|*.bmp|JPEG (*.jpg, "
    "*.jpeg)|*.jpg;*.jpeg|PNG (*.png)|*.png|GIF (*.gif)|*.gif|TIFF (*.tif, *.tiff)|*.tif;*.tiff|PCX "
    "(*.pcx)|*.pcx||";

// "Name|pattern|Name|pattern||" as Qt's file dialogs take it ("Name (pattern);;...").
QString QtFileFilter(const char* filter);

class CTavrikApp : public QObject {
    Q_OBJECT

  public:
    static constexpr int kRecentFileCount = 4;

    CTavrikApp();
    ~CTavrikApp() override;

    // The start-up sequence up to the main window shown. settingsPath empty: the usual config.ini.
    // False when the main window could not be made.
    bool InitInstance(const std::string& settingsPath = {});
    CMainFrame* MainFrame() const { return frame_.get(); }
    Platform* GetPlatform() const { return platform_.get(); }
    // Null before InitInstance.
    RecoveryKeeper* Recovery() const { return recovery_.get(); }

    // Application commands; false when the id is not one of them.
    bool OnCommand(int id);
    bool HasCommand(int id) const;

    void OnFileNew();
    void OnFileOpen();
    void OnFilePrintSetup();
    void OnHelp();
    void OnAppAbout();
    // A fresh document window for a capture, with no picture yet.
    CChildFrame* NewDocumentForCapture();
    // A restored document's title: a "CaptureN" one moves the count on, so no later capture repeats it.
    void NoteRestoredTitle(const QString& title);
    // Opens a file in a new window and enters it in the recent files; null when it cannot be opened.
    CChildFrame* OpenDocumentFile(const std::string& path);

    const QStringList& RecentFiles() const { return recent_; }
    void AddToRecentFiles(const QString& path);
    void OpenRecentFile(int index);
    // Where Open and Save start: the folder last used, else the pictures folder.
    QString StartFolder() const;
    void NoteFolder(const QString& file);
    // Where Help looks for its page.
    static std::string HelpPagePath();

  private:
    CChildFrame* NewDocumentWindow();
    void LoadRecentFiles();
    void SaveRecentFiles();

    std::unique_ptr<Platform> platform_;
    // Outlives the frame, so the documents' last signals still reach it.
    std::unique_ptr<RecoveryKeeper> recovery_;
    std::unique_ptr<CMainFrame> frame_;
    QStringList recent_;
    QString statePath_;  // state.ini beside config.ini
    int untitledCount_ = 0;
};

}  // namespace glimmora
