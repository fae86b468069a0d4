#include "field/pipeline.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace kv::field {

#ifndef KV_HAVE_TBB
bool haveTbb() { return false; }
void runPipelineTbb(unsigned threads, size_t slots, const PipelineStages& stages) {
  runPipelineThreads(threads, slots, stages);
}
#else
bool haveTbb() { return true; }
#endif

void runPipeline(unsigned threads, size_t slots, const PipelineStages& stages,
                 PipelineBackend backend) {
  if (threads < 1) threads = 1;
  if (slots < 1) slots = 1;
  if (backend == PipelineBackend::Threads || (backend == PipelineBackend::Default && !haveTbb())) {
    runPipelineThreads(threads, slots, stages);
  } else {
    runPipelineTbb(threads, slots, stages);
  }
}

void runPipelineThreads(unsigned threads, size_t slots, const PipelineStages& stages) {
  if (threads == 1) {
    for (size_t k = 0;; ++k) {
      if (!stages.read(k % slots)) return;
      stages.process(k % slots);
      stages.write(k % slots);
    }
  }
  // Items are numbered as read; [written, read) are alive and [processing, read) wait for a
  // worker. Every thread does what is most urgent: write the next item in order (it frees a
  // slot), else read (one reader at a time, when a slot is free), else process, else wait.
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<bool> done(slots, false);
  size_t read = 0, processing = 0, written = 0;
  bool reading = false, writing = false, end = false;
  std::exception_ptr failure;

  auto worker = [&] {
    std::unique_lock lock(mutex);
    for (;;) {
      if (failure || (end && written == read)) break;
      size_t item = 0;
      try {
        if (!writing && written < read && done[written % slots]) {
          writing = true;
          item = written;
          lock.unlock();
          stages.write(item % slots);
          lock.lock();
          done[item % slots] = false;
          ++written;
          writing = false;
        } else if (!reading && !end && read - written < slots) {
          reading = true;
          item = read;
          lock.unlock();
          bool more = stages.read(item % slots);
          lock.lock();
          reading = false;
          if (more) {
            ++read;
          } else {
            end = true;
          }
        } else if (processing < read) {
          item = processing++;
          lock.unlock();
          stages.process(item % slots);
          lock.lock();
          done[item % slots] = true;
        } else {
          changed.wait(lock);
          continue;
        }
      } catch (...) {
        if (!lock.owns_lock()) lock.lock();
        if (!failure) failure = std::current_exception();
      }
      changed.notify_all();
    }
    changed.notify_all();
  };

  std::vector<std::thread> helpers;
  for (unsigned i = 1; i < threads; ++i) helpers.emplace_back(worker);
  worker();
  for (std::thread& t : helpers) t.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace kv::field
