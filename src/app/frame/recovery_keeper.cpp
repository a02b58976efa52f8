#include "app/frame/recovery_keeper.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSocketNotifier>
#include <cerrno>

#include "app/frame/child_frame.h"
#include "app/frame/main_frame.h"
#include "app/frame/tavrik_app.h"
#include "editor/overlay_render.h"
#include "editor/tavrik_doc.h"

namespace glimmora {

namespace {

// The self-pipe: the handler only writes a byte; the notifier on the read end does the work.
int terminatePipe[2] = {-1, -1};

void OnSigterm(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(terminatePipe[1], &byte, 1);
    errno = saved;
}

bool InstallSigterm() {
    if (terminatePipe[0] < 0 && pipe2(terminatePipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action = {};
    action.sa_handler = OnSigterm;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGTERM, &action, nullptr) == 0;
}

}  // namespace

RecoveryKeeper::RecoveryKeeper(CTavrikApp& app, std::string folder) : app_(app), store_(std::move(folder)) {
    connect(&timer_, &QTimer::timeout, this, &RecoveryKeeper::WriteChanged);
    timer_.start(RecoveryIntervalSeconds() * 1000);
    if (InstallSigterm()) {
        terminateNotifier_ = new QSocketNotifier(terminatePipe[0], QSocketNotifier::Read, this);
        connect(terminateNotifier_, &QSocketNotifier::activated, this, &RecoveryKeeper::OnTerminate);
    }
    connect(qApp, &QCoreApplication::aboutToQuit, this, &RecoveryKeeper::OnAboutToQuit);
}

RecoveryKeeper::~RecoveryKeeper() {
    if (terminateNotifier_) signal(SIGTERM, SIG_DFL);
}

void RecoveryKeeper::Track(CTavrikDoc* doc) {
    Tracked& t = docs_[doc];
    // An earlier run with the same process id may have left entries not yet answered for.
    t.name = store_.FreeName(static_cast<long>(getpid()), serial_);
    t.dirty = doc->modified != 0;
    connect(doc, &CTavrikDoc::updated, this, [this, doc] {
        if (const auto it = docs_.find(doc); it != docs_.end()) it->second.dirty = true;
    });
    connect(doc, &CTavrikDoc::modifiedChanged, this, [this, doc](bool modified) {
        const auto it = docs_.find(doc);
        if (it == docs_.end()) return;
        Tracked& t = it->second;
        t.dirty = modified;
        // Saved: the file holds the edits now.
        if (!modified && t.written && !keepEntries_) {
            store_.Remove(t.name);
            t.written = false;
        }
    });
    connect(doc, &QObject::destroyed, this, [this, doc] { Forget(doc); });
}

void RecoveryKeeper::Forget(CTavrikDoc* doc) {
    const auto it = docs_.find(doc);
    if (it == docs_.end()) return;
    // Closed by the user, saved or not: the entry goes. After SIGTERM it stays for the next start.
    if (it->second.written && !keepEntries_) store_.Remove(it->second.name);
    docs_.erase(it);
}

void RecoveryKeeper::WriteChanged() {
    for (auto& [doc, t] : docs_) {
        if (!t.dirty || doc->modified == 0) continue;
        RecoveryEntry entry;
        entry.name = t.name;
        entry.pid = static_cast<long>(getpid());
        entry.title = doc->Title();
        entry.path = doc->PathName();
        entry.written = QDateTime::currentDateTimeUtc();
        // The objects go in burnt into a copy: the document keeps them as they are.
        Image picture = doc->image;
        if (picture.IsValid() != doc->image.IsValid()) continue;
        // Drawn in or not written at all: an entry never shows what a redaction covers. The last good
        // entry stays and the next round tries again.
        if (!doc->objects.empty() && !RenderAll(doc->objects, picture)) continue;
        bool notOurs = false;
        if (store_.Write(entry, picture, &notOurs)) {
            t.dirty = false;
            t.written = true;
        } else if (!failureSaid_) {
            // Once per run: the next rounds try again without repeating it.
            failureSaid_ = true;
            Note(notOurs
                     ? "Unsaved pictures are not kept for a restore after a crash: " +
                           QString::fromStdString(store_.Folder()) + " is a link or belongs to another user."
                     : "Unsaved pictures cannot be kept in " + QString::fromStdString(store_.Folder()) +
                           " for a restore after a crash.");
        }
    }
}

void RecoveryKeeper::OnTerminate() {
    char bytes[16];
    while (read(terminatePipe[0], bytes, sizeof bytes) > 0) {
    }
    if (keepEntries_) return;
    WriteChanged();
    keepEntries_ = true;
    if (quit_) quit_();
}

void RecoveryKeeper::OnAboutToQuit() {
    timer_.stop();
    if (keepEntries_) return;
    for (auto& [doc, t] : docs_) {
        if (t.written) store_.Remove(t.name);
        t.written = false;
    }
}

void RecoveryKeeper::Note(const QString& text) {
    if (CMainFrame* frame = app_.MainFrame()) frame->SetStatusText(2, text);
}

void RecoveryKeeper::OfferOrphans() {
    std::vector<std::string> broken;
    std::vector<RecoveryEntry> orphans = store_.Orphans(&broken, static_cast<long>(getpid()));
    // An entry without its picture is left where it is, for the user to look at.
    std::erase_if(orphans, [&](const RecoveryEntry& e) {
        if (access(store_.PicturePath(e.name).c_str(), R_OK) == 0) return false;
        broken.push_back(e.name + ".ini");
        return true;
    });
    QStringList skipped;
    for (const std::string& name : broken) skipped << QString::fromStdString(name);
    if (orphans.empty()) {
        if (!skipped.isEmpty())
            Note("Recovery entries that could not be read stay in " +
                 QString::fromStdString(store_.Folder()) + ": " + skipped.join(", "));
        return;
    }

    const qsizetype n = static_cast<qsizetype>(orphans.size());
    const QString text = n == 1 ? QString("Glimmora closed without saving 1 picture. Restore it?")
                                : QString("Glimmora closed without saving %1 pictures. Restore them?").arg(n);
    QMessageBox box(QMessageBox::Question, "Glimmora", text, QMessageBox::NoButton, app_.MainFrame());
    QPushButton* restore = box.addButton("Restore", QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton("Discard", QMessageBox::DestructiveRole);
    box.setDefaultButton(restore);
    box.exec();
    // Closed without an answer: everything stays for the next start.
    if (box.clickedButton() != restore && box.clickedButton() != discard) return;

    if (box.clickedButton() == discard) {
        for (const RecoveryEntry& e : orphans) store_.Remove(e.name);
    } else {
        std::vector<std::pair<CTavrikDoc*, std::string>> restored;
        for (const RecoveryEntry& e : orphans) {
            Image picture;
            if (!store_.ReadPicture(e, picture)) {
                skipped << QString::fromStdString(e.name + ".bmp");
                continue;
            }
            CChildFrame* child = app_.NewDocumentForCapture();
            CTavrikDoc* doc = child->Document();
            doc->SetNewImage(picture);
            if (!e.path.empty()) doc->SetPathName(e.path);
            if (!e.title.isEmpty()) {
                doc->SetTitle(e.title);
                app_.NoteRestoredTitle(e.title);
            }
            doc->SetModified(1);
            doc->UpdateAllViews();
            restored.emplace_back(doc, e.name);
        }
        // An old entry goes only once its document is an entry of this run.
        WriteChanged();
        for (const auto& [doc, name] : restored)
            if (docs_.count(doc) && docs_[doc].written) store_.Remove(name);
    }
    if (!skipped.isEmpty())
        Note("Recovery entries that could not be read stay in " + QString::fromStdString(store_.Folder()) +
             ": " + skipped.join(", "));
}

}  // namespace glimmora
