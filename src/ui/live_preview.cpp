#include "ui/live_preview.h"

#include <QMetaObject>
#include <QPointer>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace glimmora {

// Shared with the worker thread, which may outlive the dialog by the rest of one row.
struct LivePreview::State {
    std::shared_ptr<const Image> source;
    std::mutex mutex;
    std::condition_variable wake;
    std::atomic<uint64_t> newest{0};
    uint64_t pendingId = 0;
    ProcessorList pending;
    bool pendingTo32 = false;
    bool hasPending = false;
    bool running = false;
    int queued = 0;  // results on their way to the owner's thread
    bool stop = false;
    LivePreview* receiver = nullptr;  // cleared under the mutex when the owner goes
};

namespace {

class CancelSink : public ProgressSink {
  public:
    CancelSink(const std::atomic<uint64_t>& newest, uint64_t id) : newest_(newest), id_(id) {}
    void Start() override {}
    void SetPercent(int) override {}
    bool Cancelled() override { return newest_.load(std::memory_order_relaxed) != id_; }

  private:
    const std::atomic<uint64_t>& newest_;
    uint64_t id_;
};

void Work(std::shared_ptr<LivePreview::State> state) {
    for (;;) {
        ProcessorList processors;
        bool to32;
        uint64_t id;
        {
            std::unique_lock lock(state->mutex);
            state->wake.wait(lock, [&] { return state->stop || state->hasPending; });
            if (state->stop) return;
            processors = std::move(state->pending);
            to32 = state->pendingTo32;
            id = state->pendingId;
            state->hasPending = false;
            state->running = true;
        }
        CancelSink sink(state->newest, id);
        // The random generator is per thread; noise and splash seed it when they are made, on the
        // other thread, so this one seeds its own as they would.
        SeedRandomFromTime();
        Image picture(*state->source);
        if (to32 && picture.IsValid() && picture.Depth() != 32) (void)picture.ConvertDepth(32);
        for (auto& processor : processors) {
            if (sink.Cancelled()) break;
            RunProcessor(picture, *processor, &sink);
        }
        processors.clear();
        std::lock_guard lock(state->mutex);
        state->running = false;
        if (sink.Cancelled() || !state->receiver) continue;
        auto result = std::make_shared<Image>(std::move(picture));
        LivePreview* receiver = state->receiver;
        // Still busy until the owner has seen it: a finished run's picture is not on the document yet.
        ++state->queued;
        // Queued to the owner's thread; dropped by Qt if the owner is deleted before it runs.
        QMetaObject::invokeMethod(
            receiver,
            [receiver, state, id, result] {
                {
                    std::lock_guard inner(state->mutex);
                    --state->queued;
                }
                if (state->newest.load() == id) receiver->Deliver(std::move(*result));
            },
            Qt::QueuedConnection);
    }
}

}  // namespace

LivePreview::LivePreview(std::shared_ptr<const Image> source, std::function<void(Image&&)> done,
                         QObject* parent)
    : QObject(parent), state_(std::make_shared<State>()), done_(std::move(done)) {
    state_->source = std::move(source);
    state_->receiver = this;
    std::thread(Work, state_).detach();
}

LivePreview::~LivePreview() {
    std::lock_guard lock(state_->mutex);
    state_->receiver = nullptr;
    state_->stop = true;
    ++state_->newest;
    state_->pending.clear();
    state_->hasPending = false;
    state_->wake.notify_all();
}

void LivePreview::Request(ProcessorList processors, bool to32) {
    std::lock_guard lock(state_->mutex);
    state_->pendingId = ++state_->newest;
    state_->pending = std::move(processors);
    state_->pendingTo32 = to32;
    state_->hasPending = true;
    state_->wake.notify_all();
}

void LivePreview::Stop() {
    std::lock_guard lock(state_->mutex);
    ++state_->newest;
    state_->pending.clear();
    state_->hasPending = false;
}

bool LivePreview::Busy() const {
    std::lock_guard lock(state_->mutex);
    return state_->hasPending || state_->running || state_->queued > 0;
}

void LivePreview::Deliver(Image&& result) {
    if (done_) done_(std::move(result));
}

}  // namespace glimmora
