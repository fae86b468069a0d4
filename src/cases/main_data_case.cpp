#include "cases/main_data_case.h"

#include <cmath>
#include <filesystem>

#include "model/main_data_file.h"
#include "model/run_parameters.h"
#include "text/list_directed.h"
#include "text/record_writer.h"
#include "base/limits.h"
#include "base/text_field.h"
#include "text/utf8.h"

namespace kv::study {

namespace {

namespace fs = std::filesystem;

// A reader that reports its failures as Failure, saying what it was reading.
class Reader {
 public:
  Reader(std::string name, std::string text)
      : name_(std::move(name)), in_(ListDirectedReader::fromText(kInputUnit, name_, std::move(text))) {
    in_.throwOnFailure();
  }

  void read(std::initializer_list<InputItem> items, const std::string& what) {
    reading([&](ListDirectedReader& in) { in.read(items); }, what);
  }

  // Runs `read` on the reader and reports its failure as Failure saying what was read.
  template <typename Read>
  void reading(Read&& read, const std::string& what) {
    try {
      read(in_);
    } catch (const ListDirectedError& e) {
      std::string why;
      switch (e.code) {
        case FatalCode::EndOfFile:
          why = "the file ends before " + what;
          break;
        case FatalCode::InputConversion:
          why = what + " does not convert (an integer is expected, or the number is out of range)";
          break;
        default:
          why = what + " is not a number of the expected kind";
          break;
      }
      throw Failure(name_, e.line, why);
    }
  }

  bool atEnd() const { return in_.atEnd(); }
  size_t line() const {
    // The line of the next record: count the line ends before its offset.
    const std::string& text = in_.content();
    const size_t offset = in_.nextRecordOffset();
    size_t line = 1;
    for (size_t k = 0; k < offset && k < text.size(); ++k) line += text[k] == '\n';
    return line;
  }

 private:
  std::string name_;
  ListDirectedReader in_;
};

// The values of the value records of a grid or exact-solution file (an index, then a value).
std::vector<double> readValueRecords(Reader& in) {
  std::vector<double> values;
  while (!in.atEnd()) {
    double value = 0.0;
    in.reading([&](ListDirectedReader& reader) { readValueRecord(reader, value); },
               "value record " + std::to_string(values.size() + 1) + " (an integer and a value)");
    values.push_back(value);
  }
  return values;
}

std::string resolve(const fs::path& folder, const std::string& field) {
  const std::string name(adjusted(field));
  const fs::path path(name);
  return (path.is_absolute() || folder.empty() ? path : folder / path).string();
}

}  // namespace

MainDataHead readMainDataHead(const std::string& file, const std::string& text) {
  MainDataHead head;
  const fs::path folder = fs::path(file).parent_path();
  Reader main(file, text);
  RunParameters p;
  size_t countLine = 0;  // the line of the number of grids, the last parameter
  for (const MainDataItem& parameter : mainDataItems()) {
    countLine = main.line();
    main.read({parameter.item(p)}, parameter.what);
  }
  const int32_t gridCount = p.gridCount;
  if (gridCount < 2 || static_cast<size_t>(gridCount) > kMaxGrids) {
    throw Failure(file, countLine, "the number of grids is " + std::to_string(gridCount) +
                                          ": a study takes two grids at least and " + std::to_string(kMaxGrids) +
                                          " at most");
  }
  for (int32_t i = 1; i <= gridCount; ++i) {
    std::string name(kFileNameLength, ' ');
    head.gridLines.push_back(main.line());
    main.reading([&](ListDirectedReader& in) { readGridFileName(in, name); },
                 "the name of grid file " + std::to_string(i));
    head.gridFiles.push_back(resolve(folder, name));
  }
  std::string title(kTitleLength, ' ');
  main.reading([&](ListDirectedReader& in) { readTitle(in, title); }, "the title");
  head.title = toUtf8(adjusted(title));
  head.pL = p.pL;
  head.Fs = p.Fs;
  head.classic = {p.deltaP, p.refinementType, p.maxIterations, p.tolerance, p.pUMin, p.pUMax};
  if (p.hasExact()) head.exactFile = resolve(folder, p.exactSolutionFile);
  return head;
}

StudyCase readMainDataCase(const std::string& file, const std::string& text) {
  StudyCase c;
  c.kind = StudyCase::Kind::MainData;
  c.file = file;
  const MainDataHead head = readMainDataHead(file, text);
  const std::vector<std::string>& gridFiles = head.gridFiles;
  const std::vector<size_t>& gridLines = head.gridLines;
  c.title = head.title;
  c.theoreticalOrder = head.pL;
  c.safetyFactor = head.Fs;
  c.classic = head.classic;

  std::vector<std::vector<double>> values;  // per grid, in the file's order (coarsest first)
  for (size_t g = 0; g < gridFiles.size(); ++g) {
    Reader grid(gridFiles[g], readCaseText(gridFiles[g]));
    double h = 0.0;
    grid.read({InputItem::real(h)}, "the grid spacing h (line 1)");
    if (!std::isfinite(h) || h <= 0.0) {
      throw Failure(gridFiles[g], 1, "h must be a positive, finite number");
    }
    values.push_back(readValueRecords(grid));
    if (values.back().empty()) throw Failure(gridFiles[g], 2, "the file holds no value record");
    if (values.back().size() != values.front().size()) {
      throw Failure(gridFiles[g], 0,
                       std::to_string(values.back().size()) + " value records, but " +
                           gridFiles.front() + " has " + std::to_string(values.front().size()) +
                           ": every grid file needs the same records");
    }
    for (size_t k = 0; k < values.back().size(); ++k) {
      if (!std::isfinite(values.back()[k])) {
        throw Failure(gridFiles[g], 0, "value record " + std::to_string(k + 1) + " is not finite");
      }
    }
    c.h.push_back(h);
    c.lines.push_back(gridLines[g]);
    c.gridFiles.push_back(gridFiles[g]);
  }
  const size_t count = values.front().size();
  for (size_t k = 0; k < count; ++k) {
    Quantity q;
    q.name = "var" + std::to_string(k + 1);
    for (const std::vector<double>& grid : values) q.values.push_back(grid[k]);
    c.quantities.push_back(std::move(q));
  }
  c.exactFile = head.exactFile;
  if (head.exactFile) {
    const std::string& exactName = *head.exactFile;
    Reader exact(exactName, readCaseText(exactName));
    std::vector<double> exactValues = readValueRecords(exact);
    for (size_t k = 0; k < count && k < exactValues.size(); ++k) {
      if (std::isfinite(exactValues[k])) c.quantities[k].exact = exactValues[k];
    }
  }
  sortFinestFirst(c);
  return c;
}

}  // namespace kv::study
