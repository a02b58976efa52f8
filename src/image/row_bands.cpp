#include "image/row_bands.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace glimmora {

namespace {

std::atomic<int> g_threadOverride{0};

// True on pool threads, and on a calling thread while it works on a band.
thread_local bool t_inBand = false;

int EnvironmentThreads() {
    const char* text = std::getenv("GLIMMORA_THREADS");
    if (!text || !*text) return 0;
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    if (*end != '\0' || n <= 0) return 0;
    return static_cast<int>(std::min(n, 256L));
}

// One run: the ranges are handed out by an atomic counter so a band that takes longer (a rotation's
// middle rows) does not hold the others up.
struct Job {
    const std::function<void(int, int)>* work = nullptr;
    int rows = 0;
    int chunk = 1;
    int chunks = 0;
    int helpers = 0;
    uint64_t id = 0;
    std::atomic<int> next{0};
    // Guarded by the pool's mutex.
    int done = 0;
    int busy = 0;
};

// A handful of threads that live as long as the process, woken per run. Our own rather than OpenMP
// or oneTBB: the driver needs the finished-row count on the calling thread for its progress and the
// exact band starts for the random-number processors, which is a few dozen lines here and no new
// run-time dependency.
class Pool {
  public:
    ~Pool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : threads_) t.join();
    }

    std::mutex& RunMutex() { return runMutex_; }

    // With RunMutex held.
    void Run(Job& job, const std::function<void(int)>& rowsDone) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            try {
                while (static_cast<int>(threads_.size()) < job.helpers) {
                    const int index = static_cast<int>(threads_.size());
                    threads_.emplace_back([this, index] { Loop(index); });
                }
            } catch (const std::system_error&) {
                // No more threads to be had: the ones there are (or the caller alone) do the work.
            }
            job.helpers = std::min(job.helpers, static_cast<int>(threads_.size()));
            job.id = ++lastId_;
            job_ = &job;
        }
        wake_.notify_all();
        int reported = 0;
        auto report = [&](int done) {
            if (done > reported && rowsDone) rowsDone(done);
            reported = std::max(reported, done);
        };
        t_inBand = true;
        for (;;) {
            const int c = job.next.fetch_add(1);
            if (c >= job.chunks) break;
            report(Finish(job, c));
        }
        t_inBand = false;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (job.done > reported) {
                const int done = job.done;
                lock.unlock();
                report(done);
                lock.lock();
                continue;
            }
            if (job.done == job.rows && job.busy == 0) break;
            finished_.wait(lock);
        }
        job_ = nullptr;
    }

  private:
    // Runs range c of the job; returns the rows finished so far.
    int Finish(Job& job, int c) {
        const int begin = c * job.chunk;
        const int end = std::min(job.rows, begin + job.chunk);
        (*job.work)(begin, end);
        int done;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done = job.done += end - begin;
        }
        finished_.notify_all();
        return done;
    }

    void Loop(int index) {
        t_inBand = true;
        uint64_t seen = 0;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stop_ || (job_ && job_->id != seen && index < job_->helpers); });
            if (stop_) return;
            Job& job = *job_;
            seen = job.id;
            ++job.busy;
            lock.unlock();
            for (;;) {
                const int c = job.next.fetch_add(1);
                if (c >= job.chunks) break;
                Finish(job, c);
            }
            lock.lock();
            --job.busy;
            finished_.notify_all();
        }
    }

    std::mutex runMutex_;
    std::mutex mutex_;
    std::condition_variable wake_, finished_;
    std::vector<std::thread> threads_;
    Job* job_ = nullptr;
    uint64_t lastId_ = 0;
    bool stop_ = false;
};

Pool& ThePool() {
    static Pool pool;
    return pool;
}

void RunSerially(int rows, int grain, const std::function<void(int, int)>& work,
                 const std::function<void(int)>& rowsDone) {
    for (int begin = 0; begin < rows; begin += grain) {
        const int end = static_cast<int>(std::min<int64_t>(int64_t{begin} + grain, rows));
        work(begin, end);
        if (rowsDone) rowsDone(end);
    }
}

}  // namespace

int RowBandThreads() {
    if (const int n = g_threadOverride.load(); n > 0) return n;
    if (const int n = EnvironmentThreads(); n > 0) return n;
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

void SetRowBandThreads(int threads) {
    g_threadOverride = std::max(threads, 0);
}

void RunRowBands(int rows, int grain, const std::function<void(int begin, int end)>& work,
                 const std::function<void(int done)>& rowsDone) {
    if (rows <= 0) return;
    grain = std::max(grain, 1);
    const int groups = static_cast<int>((int64_t{rows} + grain - 1) / grain);
    const int threads = std::min(RowBandThreads(), groups);
    if (threads <= 1 || t_inBand) {
        RunSerially(rows, grain, work, rowsDone);
        return;
    }
    Pool& pool = ThePool();
    std::unique_lock<std::mutex> running(pool.RunMutex(), std::try_to_lock);
    if (!running.owns_lock()) {
        RunSerially(rows, grain, work, rowsDone);
        return;
    }
    // About eight ranges per thread: even loads, and progress that moves while the bands run.
    const int64_t perRange = std::max<int64_t>(1, groups / (int64_t{threads} * 8));
    Job job;
    job.work = &work;
    job.rows = rows;
    job.chunk = static_cast<int>(std::min<int64_t>(perRange * grain, rows));
    job.chunks = static_cast<int>((int64_t{rows} + job.chunk - 1) / job.chunk);
    job.helpers = threads - 1;
    pool.Run(job, rowsDone);
}

}  // namespace glimmora
