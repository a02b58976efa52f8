// Keeps an entry in the recovery folder for every edited document: written every interval for the
// documents changed since their last write, and at once on SIGTERM; removed when the document is saved or
// closed, and all of them at a normal exit. At start it offers the entries a crashed or killed run left.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <string>

#include "app/recovery/recovery_store.h"

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
    // Writes every changed document (its objects burnt into a copy); the round the timer runs.
    void WriteChanged();
    // After SIGTERM: called once the entries are written, to end the program normally.
    void SetQuit(std::function<void()> quit) { quit_ = std::move(quit); }
    // The message box for the entries of runs that are gone, then Restore or Discard as answered.
    void OfferOrphans();

  private:
    struct Tracked {
        std::string name;
        bool dirty = false;
        bool written = false;
    };
    void Forget(CTavrikDoc* doc);
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
};

}  // namespace glimmora
