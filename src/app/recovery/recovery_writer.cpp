#include "app/recovery/recovery_writer.h"

#include <algorithm>

namespace glimmora {

RecoveryWriter::RecoveryWriter(RecoveryStore store, std::function<void(const Result&)> written)
    : store_(std::move(store)), written_(std::move(written)), thread_([this] { Run(); }) {}

RecoveryWriter::~RecoveryWriter() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void RecoveryWriter::Write(RecoveryEntry entry, Image picture, std::vector<std::string> replaces) {
    Job job;
    job.entry = std::move(entry);
    job.picture = std::move(picture);
    job.replaces = std::move(replaces);
    Queue(std::move(job));
}

void RecoveryWriter::Remove(const std::string& name) {
    Job job;
    job.entry.name = name;
    job.remove = true;
    Queue(std::move(job));
}

void RecoveryWriter::Queue(Job job) {
    {
        std::lock_guard lock(mutex_);
        for (auto it = queue_.begin(); it != queue_.end();) {
            if (it->entry.name != job.entry.name) {
                ++it;
                continue;
            }
            // What the dropped job was to replace still has to go once the entry is settled.
            for (std::string& old : it->replaces)
                if (std::find(job.replaces.begin(), job.replaces.end(), old) == job.replaces.end())
                    job.replaces.push_back(std::move(old));
            it = queue_.erase(it);
        }
        queue_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void RecoveryWriter::Finish() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

void RecoveryWriter::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping, and nothing left
        Job job = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        if (job.remove) {
            store_.Remove(job.entry.name);
            for (const std::string& old : job.replaces) store_.Remove(old);
        } else {
            Result result;
            result.name = job.entry.name;
            result.ok = store_.Write(job.entry, job.picture, &result.notOurs);
            // The old entry goes only once the new one holds its picture.
            if (result.ok)
                for (const std::string& old : job.replaces) store_.Remove(old);
            job = Job();  // the picture's memory back before the next one is taken
            if (written_) written_(result);
        }
        lock.lock();
        busy_ = false;
        if (queue_.empty()) idle_.notify_all();
    }
}

}  // namespace glimmora
