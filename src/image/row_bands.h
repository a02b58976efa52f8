// Row bands on every hardware thread: a small pool of our own that splits the rows of one picture.
#pragma once

#include <cstdint>
#include <functional>

namespace glimmora {

// Threads a band run uses: SetRowBandThreads when it was given a positive count, else
// GLIMMORA_THREADS when that holds a positive number, else the hardware's thread count.
int RowBandThreads();
// 0 returns to the environment or the hardware.
void SetRowBandThreads(int threads);

// Calls work(begin, end) for consecutive row ranges that together cover [0, rows) once, each starting
// at a multiple of grain (grain >= 1), on up to RowBandThreads() threads, the calling thread among
// them. rowsDone, when given, runs on the calling thread only, with the number of rows finished so
// far, rising to rows at the end. Returns when every range is done. A run started from inside a
// band, or while another thread's run holds the pool, runs all its ranges on the calling thread.
void RunRowBands(int rows, int grain, const std::function<void(int begin, int end)>& work,
                 const std::function<void(int done)>& rowsDone = {});

}  // namespace glimmora
