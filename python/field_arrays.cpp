#include "field_arrays.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "grids.h"
#include "point_arrays.h"
#include "study/distribution.h"
#include "study/field_kernel.h"

namespace py = pybind11;

namespace kv::python {

namespace {

std::string shapeText(const py::array& a) {
  std::string out = "(";
  for (py::ssize_t k = 0; k < a.ndim(); ++k) out += (k ? ", " : "") + std::to_string(a.shape(k));
  return out + (a.ndim() == 1 ? ",)" : ")");
}

// A float64 array in native byte order, else TypeError.
py::array float64Array(py::handle x, const char* name, const char* shape) {
  if (!py::isinstance<py::array>(x)) {
    throw py::type_error(std::string(name) + " must be a numpy array of float64 (" + shape + "), not " + typeName(x));
  }
  py::array a = py::reinterpret_borrow<py::array>(x);
  if (!py::isinstance<py::array_t<double>>(a)) {
    throw py::type_error(std::string(name) + " has dtype " + std::string(py::str(a.attr("dtype"))) +
                         ": give float64 (" + name + ".astype(numpy.float64)); it is not converted silently");
  }
  return a;
}

// What a study of a field in memory needs, checked: the grids, the values and the exact values
// read in place, the per-point study.
struct FieldInput {
  study::StudyOptions options;
  study::StudyCase grids;           // the grids' head, finest first
  std::vector<size_t> finestFirst;  // the rows of values, finest first
  py::array values;
  StridedValues strided;
  py::array exactArray;  // kept alive while the points are read
  ExactValues exact;
  study::StudySettings settings;
};

FieldInput fieldInput(const FieldArguments& a) {
  FieldInput in;
  in.options = a.options;
  in.grids = gridCase(a.h, a.cells, in.options.dimension, "<field>");
  in.finestFirst = givenPositions(in.grids);
  in.values = float64Array(a.values, "values", "grids x points");
  const size_t grids = in.grids.h.size();
  if (in.values.ndim() != 2) {
    throw py::value_error("values must be 2-D, grids x points: its shape is " + shapeText(in.values));
  }
  if (static_cast<size_t>(in.values.shape(0)) != grids) {
    std::string message = "values has " + std::to_string(in.values.shape(0)) + " rows for " + std::to_string(grids) +
                          " grids: give one row per grid (grids x points)";
    if (static_cast<size_t>(in.values.shape(1)) == grids) message += "; values.T if the points are the rows";
    throw py::value_error(message);
  }
  in.strided = {static_cast<const char*>(in.values.data()), grids, static_cast<size_t>(in.values.shape(1)),
                in.values.strides(0), in.values.strides(1)};
  if (a.exact.is_none()) {
    in.exact.all = kNotANumber;
  } else if (py::isinstance<py::float_>(a.exact) || py::isinstance<py::int_>(a.exact)) {
    in.exact.all = a.exact.cast<double>();
  } else {
    in.exactArray = float64Array(a.exact, "exact", "one value per point");
    if (in.exactArray.ndim() != 1 || static_cast<size_t>(in.exactArray.shape(0)) != in.strided.points) {
      throw py::value_error("exact must hold one value per point (" + std::to_string(in.strided.points) +
                            "): its shape is " + shapeText(in.exactArray));
    }
    in.exact.data = static_cast<const char*>(in.exactArray.data());
    in.exact.stride = in.exactArray.strides(0);
  }
  // As a field study of the command: no series over all grids.
  in.settings = study::fieldSettings(in.options, std::nullopt, std::nullopt,
                                     in.grids.cells.empty() ? kNotANumber : in.grids.cells.front(),
                                     in.grids.dimension);
  return in;
}

field::FieldOptions engineOptions(const FieldInput& in) {
  field::FieldOptions options;
  options.threads = in.options.threads;
  options.progress = false;
  return options;
}

// Runs `work` on a thread of its own with the interpreter released, while this thread answers
// signals: Ctrl-C sets `stop`, and its KeyboardInterrupt is raised once the work has ended.
void runInterruptible(const std::function<void()>& work, std::atomic<bool>& stop) {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false, interrupted = false;
  std::exception_ptr failure;
  {
    py::gil_scoped_release release;
    std::thread worker([&] {
      try {
        work();
      } catch (...) {
        failure = std::current_exception();
      }
      std::lock_guard<std::mutex> lock(mutex);
      done = true;
      finished.notify_all();
    });
    std::unique_lock<std::mutex> lock(mutex);
    while (!finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return done; })) {
      if (interrupted) continue;
      lock.unlock();
      {
        py::gil_scoped_acquire acquire;
        if (PyErr_CheckSignals() != 0) interrupted = true;
      }
      if (interrupted) stop = true;
      lock.lock();
    }
    lock.unlock();
    worker.join();
  }
  if (interrupted) throw py::error_already_set();
  if (failure) std::rethrow_exception(failure);
}

std::vector<const study::SummaryColumn*> selectedColumns(const FieldArguments& a, bool withTarget) {
  const std::vector<const study::SummaryColumn*> written = study::writtenColumns(withTarget);
  if (a.columns.is_none()) return written;
  std::vector<const study::SummaryColumn*> out;
  const py::list names = py::isinstance<py::str>(a.columns) ? py::list(py::make_tuple(a.columns)) : py::list(a.columns);
  for (py::handle name : names) {
    const std::string wanted = py::str(name);
    auto it = std::find_if(written.begin(), written.end(), [&](const study::SummaryColumn* c) { return c->name == wanted; });
    if (it == written.end()) {
      std::string all;
      for (const study::SummaryColumn* c : written) all += (all.empty() ? "" : ", ") + std::string(c->name);
      throw py::value_error("no column '" + wanted + "' (the columns: " + all + ")");
    }
    out.push_back(*it);
  }
  return out;
}

template <class T>
py::array_t<T> pointArray(size_t points, void*& data) {
  py::array_t<T> a(static_cast<py::ssize_t>(points));
  data = a.mutable_data();
  return a;
}

}  // namespace

py::dict fieldStudy(const FieldArguments& a) {
  FieldInput in = fieldInput(a);
  const size_t points = in.strided.points;
  std::vector<ColumnOutput> outputs;
  std::vector<py::array> arrays;
  for (const study::SummaryColumn* c : selectedColumns(a, in.settings.targetGci.has_value())) {
    ColumnOutput out{c, storageOf(*c), nullptr, {}};
    switch (out.storage) {
      case Storage::Float64:
        arrays.push_back(pointArray<double>(points, out.data));
        break;
      case Storage::Int64:
      case Storage::Position:
        arrays.push_back(pointArray<int64_t>(points, out.data));
        break;
      case Storage::UInt8:
        arrays.push_back(pointArray<uint8_t>(points, out.data));
        break;
      case Storage::TextCode:
        arrays.push_back(pointArray<int32_t>(points, out.data));
        break;
    }
    outputs.push_back(std::move(out));
  }
  const study::PointStudy study(in.grids.h, in.settings);
  const field::FieldOptions options = engineOptions(in);
  std::atomic<bool> stop{false};
  runInterruptible([&] { studyPoints(study, in.strided, in.finestFirst, in.exact, outputs, options, stop); }, stop);

  py::dict result;
  for (size_t k = 0; k < outputs.size(); ++k) result[py::str(std::string(outputs[k].column->name))] = arrays[k];
  for (const ColumnOutput& out : outputs) {
    py::list names;
    if (out.storage == Storage::UInt8) {
      for (size_t code = 0; code < study::categoryCount(*out.column); ++code) {
        names.append(std::string(study::categoryName(*out.column, static_cast<uint8_t>(code))));
      }
    } else if (out.storage == Storage::TextCode) {
      for (const std::string& name : out.names) names.append(name);
    } else {
      continue;
    }
    result[py::str(std::string(out.column->name) + "_names")] = names;
  }
  return result;
}

py::object fieldCsv(const FieldArguments& a, bool discard) {
  FieldInput in = fieldInput(a);
  const study::PointStudy study(in.grids.h, in.settings);
  study::Distribution distribution;
  study::FieldKernel kernel(study, distribution, "");
  const bool withTarget = in.settings.targetGci.has_value();
  std::string csv = study::summaryHeader(withTarget);
  size_t bytes = csv.size();
  auto point = [&](uint64_t position, field::Point& p, std::vector<double>& v, std::string& id) {
    v.resize(in.finestFirst.size());
    for (size_t g = 0; g < v.size(); ++g) v[g] = in.strided.at(in.finestFirst[g], position);
    p.values = v;
    const double exact = in.exact.at(position);
    if (!std::isnan(exact)) p.exact = exact;
    id = std::to_string(position);
    p.id = id;
  };
  auto rows = [&](std::string_view text) {
    bytes += text.size();
    if (!discard) csv.append(text);
  };
  const field::FieldOptions options = engineOptions(in);
  std::atomic<bool> stop{false};
  runInterruptible([&] { field::runPoints(0, in.strided.points, point, kernel, rows, options); }, stop);
  if (discard) return py::int_(bytes);
  return py::bytes(csv);
}

}  // namespace kv::python
