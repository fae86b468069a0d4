#include "point_arrays.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>

namespace kv::python {

namespace {

// Looks texts up by view, without a string made for each.
struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

// The codes of a text column shared by every thread; each thread keeps the codes it has seen.
class TextCodes {
 public:
  int32_t code(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto [it, added] = codes_.try_emplace(text, static_cast<int32_t>(names_.size()));
    if (added) names_.push_back(text);
    return it->second;
  }
  // The names sorted (the codes the same whatever the threads met first) and the codes of `out`
  // renumbered to match.
  std::vector<std::string> sortedNames(std::span<int32_t> out) const {
    std::vector<int32_t> byName(names_.size());
    for (size_t k = 0; k < byName.size(); ++k) byName[k] = static_cast<int32_t>(k);
    std::sort(byName.begin(), byName.end(), [&](int32_t a, int32_t b) { return names_[a] < names_[b]; });
    std::vector<int32_t> renamed(names_.size());
    std::vector<std::string> names;
    for (size_t k = 0; k < byName.size(); ++k) {
      renamed[byName[k]] = static_cast<int32_t>(k);
      names.push_back(names_[byName[k]]);
    }
    for (int32_t& c : out) c = renamed[c];
    return names;
  }

 private:
  std::mutex mutex_;
  std::unordered_map<std::string, int32_t> codes_;
  std::vector<std::string> names_;
};

struct Stopped {};

class ArrayKernel : public field::PointKernel {
 public:
  ArrayKernel(const study::PointStudy& study, const ExactValues& exact, std::span<ColumnOutput> outputs,
              std::vector<std::unique_ptr<TextCodes>>& codes, const std::atomic<bool>& stop)
      : study_(study), exact_(exact), outputs_(outputs), codes_(codes), stop_(stop) {}

  std::unique_ptr<field::ChunkWork> newWork() const override { return std::make_unique<Work>(*this); }
  void merge(field::ChunkWork&) override {}

 private:
  struct Work : field::ChunkWork {
    explicit Work(const ArrayKernel& k) : kernel(k), seen(k.outputs_.size()) {}
    void begin(uint64_t) override {
      if (kernel.stop_.load(std::memory_order_relaxed)) throw Stopped{};
    }
    void point(const field::Point& point, std::string&) override {
      const study::QuantityStudy q = kernel.study_(std::string(), point.values, kernel.exact_.at(point.position));
      const size_t i = point.position;
      for (size_t c = 0; c < kernel.outputs_.size(); ++c) {
        ColumnOutput& out = kernel.outputs_[c];
        const study::SummaryColumn& column = *out.column;
        switch (out.storage) {
          case Storage::Float64:
            static_cast<double*>(out.data)[i] = column.number(q);
            break;
          case Storage::Int64:
            static_cast<int64_t*>(out.data)[i] = static_cast<int64_t>(column.number(q));
            break;
          case Storage::UInt8:
            static_cast<uint8_t*>(out.data)[i] = static_cast<uint8_t>(column.number(q));
            break;
          case Storage::Position:
            static_cast<int64_t*>(out.data)[i] = static_cast<int64_t>(i);
            break;
          case Storage::TextCode:
            static_cast<int32_t*>(out.data)[i] = textCode(c, column.text(q));
            break;
        }
      }
    }
    int32_t textCode(size_t c, std::string_view text) {
      auto it = seen[c].find(text);
      if (it == seen[c].end()) it = seen[c].emplace(std::string(text), kernel.codes_[c]->code(std::string(text))).first;
      return it->second;
    }
    const ArrayKernel& kernel;
    std::vector<std::unordered_map<std::string, int32_t, TextHash, std::equal_to<>>> seen;  // per column
  };

  const study::PointStudy& study_;
  const ExactValues& exact_;
  std::span<ColumnOutput> outputs_;
  std::vector<std::unique_ptr<TextCodes>>& codes_;
  const std::atomic<bool>& stop_;
};

}  // namespace

Storage storageOf(const study::SummaryColumn& column) {
  switch (column.kind) {
    case study::ColumnKind::Number:
      return Storage::Float64;
    case study::ColumnKind::Count:
      return Storage::Int64;
    case study::ColumnKind::Category:
      return Storage::UInt8;
    case study::ColumnKind::Text:
      break;
  }
  // The row's name: a point of a field in memory is named by its position.
  return column.name == "quantity" ? Storage::Position : Storage::TextCode;
}

bool studyPoints(const study::PointStudy& study, const StridedValues& values, std::span<const size_t> finestFirst,
                 const ExactValues& exact, std::span<ColumnOutput> outputs, const field::FieldOptions& options,
                 const std::atomic<bool>& stop) {
  std::vector<std::unique_ptr<TextCodes>> codes;
  for (size_t c = 0; c < outputs.size(); ++c) codes.push_back(std::make_unique<TextCodes>());
  ArrayKernel kernel(study, exact, outputs, codes, stop);
  auto point = [&](uint64_t position, field::Point& p, std::vector<double>& v, std::string&) {
    v.resize(finestFirst.size());
    for (size_t g = 0; g < finestFirst.size(); ++g) v[g] = values.at(finestFirst[g], position);
    p.values = v;
  };
  try {
    field::runPoints(0, values.points, point, kernel, {}, options);
  } catch (const Stopped&) {
    return false;
  }
  for (size_t c = 0; c < outputs.size(); ++c) {
    if (outputs[c].storage != Storage::TextCode) continue;
    outputs[c].names = codes[c]->sortedNames({static_cast<int32_t*>(outputs[c].data), values.points});
  }
  return true;
}

}  // namespace kv::python
