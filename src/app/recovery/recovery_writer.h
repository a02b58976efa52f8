// Writes recovery entries on a thread of its own, one at a time: encoding, writing and fsync of a tall
// picture take long enough to stall the window every round.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/recovery/recovery_store.h"

namespace glimmora {

class RecoveryWriter {
  public:
    struct Result {
        std::string name;
        bool ok = false;
        bool notOurs = false;  // as RecoveryStore::Write says it
    };
    // written: called on the writer's thread after every write, failed or not.
    RecoveryWriter(RecoveryStore store, std::function<void(const Result&)> written);
    // Finishes everything queued first: nothing handed over is lost.
    ~RecoveryWriter();
    RecoveryWriter(const RecoveryWriter&) = delete;
    RecoveryWriter& operator=(const RecoveryWriter&) = delete;

    // Queues a write of the entry. One of the same entry still waiting is dropped: this one is newer.
    // replaces: entries removed once this one is on the disk.
    void Write(RecoveryEntry entry, Image picture, std::vector<std::string> replaces = {});
    // Queues the removal of an entry, after any write of it already under way.
    void Remove(const std::string& name);
    // Returns once everything queued is done.
    void Finish();

  private:
    struct Job {
        RecoveryEntry entry;
        Image picture;
        std::vector<std::string> replaces;
        bool remove = false;
    };
    void Queue(Job job);
    void Run();

    const RecoveryStore store_;
    const std::function<void(const Result&)> written_;
    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<Job> queue_;
    bool busy_ = false;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace glimmora
