// The main frame's text recognition: Capture Text, the editor's Copy Text, and the language setting.
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QFile>
#include <QGuiApplication>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QThread>
#include <algorithm>
#include <cstring>
#include <memory>

#include "app/frame/child_frame.h"
#include "app/frame/command_ids.h"
#include "app/frame/main_frame.h"
#include "app/frame/main_frame_parts.h"
#include "app/settings/ini_profile.h"
#include "editor/overlay_render.h"
#include "editor/tavrik_doc.h"
#include "editor/tavrik_view.h"
#include "image/codecs/save_route.h"
#include "ocr/text_recognition.h"
#include "ui/pin_window.h"
#include "ui/text_result_dlg.h"

namespace glimmora {

using namespace frame_parts;

namespace {
constexpr char kTextSection[] = "TextRecognition";
constexpr char kLanguageKey[] = "Language";
}  // namespace

Image RenderedPicture(const CTavrikDoc& doc) {
    Image picture = doc.image;
    if (picture.IsValid() != doc.image.IsValid() || !RenderAll(doc.objects, picture)) return {};
    return picture;
}

std::string CMainFrame::TextLanguageSetting() const {
    IniProfile ini;
    ini.SetPath(settingsPath_.c_str());
    return ini.ReadString(kTextSection, kLanguageKey, "");
}

void CMainFrame::SetTextLanguage(const std::string& code) {
    IniProfile ini;
    ini.SetPath(settingsPath_.c_str());
    if (!ini.WriteString(kTextSection, kLanguageKey, code.c_str()))
        Warn(QString("The setting could not be written to %1.").arg(QString::fromStdString(settingsPath_)));
}

void CMainFrame::BuildTextLanguageMenu(QMenu* setting) {
    QMenu* menu = setting->addMenu("Text &Language");
    menu->menuAction()->setObjectName("TextLanguageMenu");
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandUi);
    AddCommand(menu, cmd::kTextLanguageAuto, "Automatic", true);
    textLanguages_ = InstalledOcrLanguages();
    const int room = cmd::kTextLanguageLast - cmd::kTextLanguageFirst + 1;
    if (static_cast<int>(textLanguages_.size()) > room) textLanguages_.resize(static_cast<size_t>(room));
    if (textLanguages_.empty()) {
        QAction* none = menu->addAction(QString("No language data (install %1)").arg(kOcrDataPackage));
        none->setEnabled(false);
    }
    for (size_t i = 0; i < textLanguages_.size(); ++i)
        AddCommand(menu, cmd::kTextLanguageFirst + static_cast<int>(i),
                   QString("%1 (%2)").arg(QString::fromStdString(OcrLanguageName(textLanguages_[i])),
                                          QString::fromStdString(textLanguages_[i])),
                   true);
}

bool CMainFrame::TextCommand(int id) {
    if (id == cmd::kCopyText) {
        OnCopyText();
        return true;
    }
    if (id == cmd::kPinToDesktop) {
        PinToDesktop();
        return true;
    }
    if (id == cmd::kTextLanguageAuto) {
        SetTextLanguage("");
        return true;
    }
    const int index = id - cmd::kTextLanguageFirst;
    if (index >= 0 && index < static_cast<int>(textLanguages_.size())) {
        SetTextLanguage(textLanguages_[static_cast<size_t>(index)]);
        return true;
    }
    return false;
}

bool CMainFrame::TextCommandState(int id, bool* enabled, bool* checked) {
    if (id == cmd::kCopyText || id == cmd::kPinToDesktop) {
        *enabled = ActiveChild() != nullptr;
        return true;
    }
    if (id == cmd::kTextLanguageAuto) {
        *enabled = true;
        *checked = TextLanguageSetting().empty();
        return true;
    }
    const int index = id - cmd::kTextLanguageFirst;
    if (index >= 0 && index < static_cast<int>(textLanguages_.size())) {
        *enabled = true;
        *checked = TextLanguageSetting() == textLanguages_[static_cast<size_t>(index)];
        return true;
    }
    return false;
}

void CMainFrame::RecogniseToClipboard(Image picture, bool showWindow) {
    // A whole screen of small text takes seconds: it is read on a thread of its own while the window goes
    // on working. A new request stops the read under way and follows it.
    if (textReader_) {
        pendingText_ = PendingText{std::move(picture), showWindow};
        textCancel_->store(true);
        SetStatusText(2, "Stopping the last text reading for the new one...");
        return;
    }
    const std::string language = ChooseOcrLanguage(
        TextLanguageSetting(), QLocale::system().name().toStdString(), InstalledOcrLanguages());
    auto result = std::make_shared<OcrResult>();
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    QThread* reader = QThread::create([picture = std::move(picture), language, result, cancel] {
        *result = RecogniseText(picture, language, cancel.get());
    });
    textReader_ = reader;
    textCancel_ = cancel;
    connect(reader, &QThread::finished, this, [this, reader, result, showWindow] {
        textReader_ = nullptr;
        reader->deleteLater();
        QApplication::restoreOverrideCursor();
        if (cancelText_) cancelText_->hide();
        if (pendingText_) {
            PendingText next = std::move(*pendingText_);
            pendingText_.reset();
            RecogniseToClipboard(std::move(next.picture), next.showWindow);
            return;
        }
        if (result->cancelled) {
            SetStatusText(2, "Text reading cancelled.");
            return;
        }
        ShowRecognisedText(*result, showWindow);
    });
    if (!cancelText_) {
        cancelText_ = new QPushButton("Cancel", statusBar());
        cancelText_->setObjectName("CancelTextReading");
        cancelText_->setAccessibleName("Cancel text reading");
        cancelText_->setToolTip("Stop reading text");
        connect(cancelText_, &QPushButton::clicked, this, &CMainFrame::CancelTextReading);
        statusBar()->addPermanentWidget(cancelText_);
    }
    cancelText_->show();
    QApplication::setOverrideCursor(Qt::BusyCursor);
    SetStatusText(2, "Reading text...");
    reader->start();
}

void CMainFrame::CancelTextReading() {
    pendingText_.reset();
    if (textReader_) textCancel_->store(true);
}

void CMainFrame::ShowRecognisedText(const OcrResult& result, bool showWindow) {
    if (!result.ok) {
        SetStatusText(2, "No text was read.");
        Warn(QString::fromStdString(result.error));
        return;
    }
    const QString text = QString::fromStdString(result.text);
    if (text.trimmed().isEmpty()) {
        SetStatusText(2, "No text was found.");
        return;
    }
    QGuiApplication::clipboard()->setText(text);
    SetStatusText(2, QString("Copied %1 characters.").arg(text.toUcs4().size()));
    if (!showWindow) return;
    auto* window = new CTextResultDlg(text, this, result.monospace);
    window->show();
    window->raise();
    window->activateWindow();
}

void CMainFrame::CaptureText() {
    if (!capturer_) return;
    // Said before the overlay opens, so nobody selects text believing nothing else is under way.
    if (textReader_) SetStatusText(2, "Still reading the last text.");
    Image picture;
    if (capturer_->CaptureRegionPicture(picture)) RecogniseToClipboard(std::move(picture), true);
}

void CMainFrame::OnCopyText() {
    CChildFrame* child = ActiveChild();
    if (!child) return;
    // What the user sees: the objects drawn, so a redaction hides its text here too.
    Image picture = RenderedPicture(*child->Document());
    if (!picture.IsValid()) return;
    const QRect track = child->View()->trackImageRect & QRect(0, 0, picture.Width(), picture.Height());
    // The same part as Copy takes: the selection when there is one.
    if (!track.isEmpty()) {
        Image part;
        if (!part.Create(track.width(), track.height(), picture.Depth())) return;
        const size_t bytes = static_cast<size_t>(track.width()) * static_cast<size_t>(picture.Depth() / 8);
        for (int y = 0; y < track.height(); ++y)
            std::memcpy(part.Row(y), picture.PixelAddress(track.x(), track.y() + y), bytes);
        picture = std::move(part);
    }
    RecogniseToClipboard(std::move(picture), false);
}

void CMainFrame::PinToDesktop() {
    CChildFrame* child = ActiveChild();
    if (!child) return;
    Image picture = RenderedPicture(*child->Document());
    if (!picture.IsValid()) {
        Warn("The picture could not be drawn with its objects: it is too large to pin.");
        return;
    }
    // On the screen the user is looking at: the pointer's, else the window's.
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = this->screen();
    auto* pin = new CPinWindow(std::move(picture), child->Document()->Title(), screen);
    connect(pin, &CPinWindow::saveAsRequested, this, [this](CPinWindow* which) {
        const std::optional<std::string> path = AskSavePath("Pinned.png");
        if (path && !SaveImageFile(which->Picture(), *path))
            Warn(QString("The image could not be saved to \"%1\".").arg(QFile::decodeName(path->c_str())));
    });
    connect(pin, &CPinWindow::note, this, [this](const QString& text) { SetStatusText(2, text); });
    if (platform_) pin->SetCanFade([this] { return platform_ && platform_->windows().CanBlendWindows(); });
    std::erase_if(pins_, [](const QPointer<QWidget>& p) { return p.isNull(); });
    pins_.emplace_back(pin);
    // Centred on that screen, a little down and right for each pin already there: set over the tab's own
    // picture it would pass for it.
    const QRect room = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), pin->size());
    const QPoint step = QPoint(32, 32) * static_cast<int>(pins_.size() - 1);
    QRect place(QPoint(0, 0), pin->size());
    place.moveCenter(room.center() + step);
    place.moveLeft(
        std::clamp(place.left(), room.left(), std::max(room.left(), room.right() + 1 - place.width())));
    place.moveTop(
        std::clamp(place.top(), room.top(), std::max(room.top(), room.bottom() + 1 - place.height())));
    pin->move(place.topLeft());
    pin->show();
    pin->raise();
    pin->activateWindow();
    // Wayland lets no program keep its window above the others; the compositor decides. Said once.
    static bool told = false;
    if (!told && QGuiApplication::platformName().startsWith("wayland")) {
        told = true;
        SetStatusText(2,
                      "This desktop does not let Glimmora keep pins above other windows; a pin may go behind "
                      "them.");
    }
}

}  // namespace glimmora
