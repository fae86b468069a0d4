#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/parallel_pipeline.h>
#include <oneapi/tbb/task_arena.h>

#include "field/pipeline.h"

namespace kv::field {

void runPipelineTbb(unsigned threads, size_t slots, const PipelineStages& stages) {
  // More threads than cores may be asked for: raise the default limit of workers to match.
  tbb::global_control limit(tbb::global_control::max_allowed_parallelism, threads);
  tbb::task_arena arena(static_cast<int>(threads));
  arena.execute([&] {
    size_t next = 0;
    tbb::parallel_pipeline(
        slots,
        tbb::make_filter<void, size_t>(tbb::filter_mode::serial_in_order,
                                       [&](tbb::flow_control& control) -> size_t {
                                         size_t slot = next % slots;
                                         if (!stages.read(slot)) {
                                           control.stop();
                                           return 0;
                                         }
                                         ++next;
                                         return slot;
                                       }) &
            tbb::make_filter<size_t, size_t>(tbb::filter_mode::parallel,
                                             [&](size_t slot) {
                                               stages.process(slot);
                                               return slot;
                                             }) &
            tbb::make_filter<size_t, void>(tbb::filter_mode::serial_in_order,
                                           [&](size_t slot) { stages.write(slot); }));
  });
}

}  // namespace kv::field
