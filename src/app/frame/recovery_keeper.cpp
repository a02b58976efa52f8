#include "app/frame/recovery_keeper.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QMessageBox>
#include <QPushButton>
#include <QSocketNotifier>
#include <algorithm>
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
    writer_ = std::make_unique<RecoveryWriter>(store_, [this](const RecoveryWriter::Result& result) {
        QMetaObject::invokeMethod(
            this, [this, result] { OnWritten(result); }, Qt::QueuedConnection);
    });
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
    // Whatever is queued is finished before the object its results go to is gone.
    writer_.reset();
    store_.UnlockOffers(offerLock_);
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
        if (!modified && t.queued && !keepEntries_) {
            writer_->Remove(t.name);
            t.queued = false;
        }
    });
    connect(doc, &QObject::destroyed, this, [this, doc] { Forget(doc); });
}

void RecoveryKeeper::Forget(CTavrikDoc* doc) {
    const auto it = docs_.find(doc);
    if (it == docs_.end()) return;
    // Closed by the user, saved or not: the entry goes. After SIGTERM it stays for the next start.
    if (!keepEntries_) {
        if (it->second.queued) writer_->Remove(it->second.name);
        // Closed before its own entry was written: the user has answered for the old one too.
        for (const std::string& old : it->second.replaces) writer_->Remove(old);
    }
    docs_.erase(it);
    ReleaseOfferLock();
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
        // The objects go in burnt into a copy: the document keeps them as they are. Only the copy is made
        // here; the writer's thread encodes and writes it.
        Image picture = doc->image;
        if (picture.IsValid() != doc->image.IsValid()) continue;
        // Drawn in or not written at all: an entry never shows what a redaction covers. The last good
        // entry stays and the next round tries again.
        if (!doc->objects.empty() && !RenderAll(doc->objects, picture)) continue;
        t.dirty = false;
        t.queued = true;
        writer_->Write(std::move(entry), std::move(picture), t.replaces);
    }
}

void RecoveryKeeper::OnWritten(const RecoveryWriter::Result& result) {
    const auto it =
        std::find_if(docs_.begin(), docs_.end(), [&](const auto& d) { return d.second.name == result.name; });
    if (result.ok) {
        if (it != docs_.end()) it->second.replaces.clear();
        ReleaseOfferLock();
        return;
    }
    // The next round tries again.
    if (it != docs_.end()) it->second.dirty = true;
    if (failureSaid_) return;
    // Once per run: the next rounds try again without repeating it.
    failureSaid_ = true;
    Note(result.notOurs
             ? "Unsaved pictures are not kept for a restore after a crash: " +
                   QString::fromStdString(store_.Folder()) + " is a link or belongs to another user."
             : "Unsaved pictures cannot be kept in " + QString::fromStdString(store_.Folder()) +
                   " for a restore after a crash.");
}

void RecoveryKeeper::OnTerminate() {
    char bytes[16];
    while (read(terminatePipe[0], bytes, sizeof bytes) > 0) {
    }
    if (keepEntries_) return;
    WriteChanged();
    // On the disk before the program ends.
    writer_->Finish();
    keepEntries_ = true;
    if (quit_) quit_();
}

void RecoveryKeeper::OnAboutToQuit() {
    timer_.stop();
    if (!keepEntries_) {
        for (auto& [doc, t] : docs_) {
            if (t.queued) writer_->Remove(t.name);
            t.queued = false;
        }
    }
    writer_->Finish();
}

void RecoveryKeeper::Note(const QString& text) {
    if (CMainFrame* frame = app_.MainFrame()) frame->SetStatusText(2, text);
}

void RecoveryKeeper::ReleaseOfferLock() {
    if (offerLock_ < 0 || offerOpen_) return;
    for (const auto& [doc, t] : docs_)
        if (!t.replaces.empty()) return;
    store_.UnlockOffers(offerLock_);
    offerLock_ = -1;
}

namespace {

QStringList Unreadable(std::vector<std::string>& broken, std::vector<RecoveryEntry>& orphans,
                       const RecoveryStore& store) {
    // An entry without its picture is left where it is, for the user to look at.
    std::erase_if(orphans, [&](const RecoveryEntry& e) {
        if (access(store.PicturePath(e.name).c_str(), R_OK) == 0) return false;
        broken.push_back(e.name + ".ini");
        return true;
    });
    QStringList skipped;
    for (const std::string& name : broken) skipped << QString::fromStdString(name);
    return skipped;
}

// "Capture2 (as of 2026-12-08 14:05)": what the user knows the picture by, and how recent it is.
QString Describe(const RecoveryEntry& e) {
    const QString title = e.title.isEmpty() ? QString::fromStdString(e.name) : e.title;
    if (!e.written.isValid()) return title;
    return QString("%1 (as of %2)").arg(title, e.written.toLocalTime().toString("yyyy-MM-dd HH:mm"));
}

}  // namespace

void RecoveryKeeper::OfferOrphans() {
    const long self = static_cast<long>(getpid());
    std::vector<std::string> broken;
    std::vector<RecoveryEntry> orphans = store_.Orphans(&broken, self);
    if (!orphans.empty()) {
        bool elsewhere = false;
        offerLock_ = store_.LockOffers(elsewhere);
        if (elsewhere) {
            Note("Unsaved pictures of an earlier run are being offered by another Glimmora.");
            return;
        }
        // Another run may have settled some while the lock was its own.
        broken.clear();
        orphans = store_.Orphans(&broken, self);
    }
    QStringList skipped = Unreadable(broken, orphans, store_);
    if (orphans.empty()) {
        ReleaseOfferLock();
        if (!skipped.isEmpty())
            Note("Recovery entries that could not be read stay in " +
                 QString::fromStdString(store_.Folder()) + ": " + skipped.join(", "));
        return;
    }

    const qsizetype n = static_cast<qsizetype>(orphans.size());
    const QString text = n == 1 ? QString("Glimmora closed without saving 1 picture. Restore it?")
                                : QString("Glimmora closed without saving %1 pictures. Restore them?").arg(n);
    // Not modal: captures and other work go on while it waits for an answer.
    auto* box =
        new QMessageBox(QMessageBox::Question, "Glimmora", text, QMessageBox::NoButton, app_.MainFrame());
    box->setWindowModality(Qt::NonModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QStringList names;
    for (const RecoveryEntry& e : orphans) names << Describe(e);
    box->setInformativeText(names.join("\n"));
    QPushButton* restore = box->addButton("Restore", QMessageBox::AcceptRole);
    QPushButton* discard = box->addButton("Discard", QMessageBox::DestructiveRole);
    box->setDefaultButton(restore);
    offerOpen_ = true;
    connect(box, &QDialog::finished, this, [this, box, restore, discard, orphans, skipped] {
        offerOpen_ = false;
        QAbstractButton* clicked = box->clickedButton();
        // Closed without an answer: everything stays for the next start.
        if (clicked == restore || clicked == discard)
            Answer(clicked == restore, orphans, skipped);
        else if (!skipped.isEmpty())
            Note("Recovery entries that could not be read stay in " +
                 QString::fromStdString(store_.Folder()) + ": " + skipped.join(", "));
        ReleaseOfferLock();
    });
    box->show();
}

void RecoveryKeeper::Answer(bool restore, const std::vector<RecoveryEntry>& orphans, QStringList skipped) {
    QStringList taken;
    for (const RecoveryEntry& e : orphans) {
        // Without the lock (a folder it could not be taken in) another run may have answered first.
        if (!store_.StillThere(e)) {
            taken << Describe(e);
            continue;
        }
        if (!restore) {
            store_.Remove(e.name);
            continue;
        }
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
        // An old entry goes only once its document is an entry of this run.
        if (const auto it = docs_.find(doc); it != docs_.end()) it->second.replaces.push_back(e.name);
    }
    if (restore) WriteChanged();
    QStringList notes;
    if (!taken.isEmpty()) notes << "Already taken by another Glimmora: " + taken.join(", ") + ".";
    if (!skipped.isEmpty())
        notes << "Recovery entries that could not be read stay in " +
                     QString::fromStdString(store_.Folder()) + ": " + skipped.join(", ");
    if (!notes.isEmpty()) Note(notes.join(" "));
}

}  // namespace glimmora
