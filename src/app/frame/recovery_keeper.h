// Keeps an entry in the recovery folder for every edited document: written every interval for the
// documents changed since their last write, and at once on SIGTERM; removed when the document is saved or
// closed, and all of them at a normal exit. At start it offers the entries a crashed or killed run left.
#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/recovery/recovery_store.h"
#include "app/recovery/recovery_writer.h"

class QSocketNotifier;

namespace glimmora {

class CTavrikApp;
class CTavrikDoc;

class RecoveryKeeper : public QObject {
    Q_OBJECT

  public:
    RecoveryKeeper(CTavrikApp& app, std::string folder);
    ~RecoveryKeeper() override;

    void Track(CTavrikDoc* doc);
    // Hands every changed document (its objects burnt into a copy) to the writer's thread; the round the
    // timer runs.
    void WriteChanged();
    // After SIGTERM: called once the entries are written, to end the program normally.
    void SetQuit(std::function<void()> quit) { quit_ = std::move(quit); }
    // A message box, not modal, naming the entries of runs that are gone, then Restore or Discard as
    // answered. While it is open no other Glimmora offers them.
    void OfferOrphans();

  private:
    struct Tracked {
        std::string name;
        bool dirty = false;
        bool queued = false;  // a write was handed to the writer: there may be an entry to remove
        // Entries of an earlier run this document was restored from, removed once its own is written.
        std::vector<std::string> replaces;
    };
    void Forget(CTavrikDoc* doc);
    void OnWritten(const RecoveryWriter::Result& result);
    void Answer(bool restore, const std::vector<RecoveryEntry>& orphans, QStringList skipped);
    // Lets other runs offer entries again once nothing restored here waits for its own entry.
    void ReleaseOfferLock();
    void OnTerminate();
    void OnAboutToQuit();
    void Note(const QString& text);

    CTavrikApp& app_;
    RecoveryStore store_;
    std::map<CTavrikDoc*, Tracked> docs_;
    int serial_ = 0;
    // Set by SIGTERM: the entries outlive this run, to be offered at the next start.
    bool keepEntries_ = false;
    bool failureSaid_ = false;
    QTimer timer_;
    QSocketNotifier* terminateNotifier_ = nullptr;
    std::function<void()> quit_;
    int offerLock_ = -1;
    bool offerOpen_ = false;
    std::unique_ptr<RecoveryWriter> writer_;
};

}  // namespace glimmora
