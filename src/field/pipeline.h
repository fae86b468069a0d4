// A three-stage pipeline over reusable slots: read (serial, in order) -> process (parallel) ->
// write (serial, in order). Item k uses slot k % slots; at most `slots` items are alive, so
// the memory held is bounded by the slots. Runs on oneTBB where it is available, otherwise on
// std::thread; both give the same order of reads and writes.
#pragma once

#include <cstddef>
#include <functional>

namespace kv::field {

enum class PipelineBackend { Default, Tbb, Threads };

struct PipelineStages {
  std::function<bool(size_t slot)> read;  // fills the slot; false at the end (slot unused)
  std::function<void(size_t slot)> process;
  std::function<void(size_t slot)> write;
};

// Whether the oneTBB backend is built in.
bool haveTbb();

// `threads` >= 1. The stages must not throw; an exception from one ends the run and is
// rethrown here.
void runPipeline(unsigned threads, size_t slots, const PipelineStages& stages,
                 PipelineBackend backend = PipelineBackend::Default);

// Run on the oneTBB backend (pipeline_tbb.cpp, only when built with it).
void runPipelineTbb(unsigned threads, size_t slots, const PipelineStages& stages);
// Run on the std::thread backend (pipeline.cpp).
void runPipelineThreads(unsigned threads, size_t slots, const PipelineStages& stages);

}  // namespace kv::field
