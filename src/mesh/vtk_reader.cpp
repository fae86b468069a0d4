// readVtk() over VTK 9's readers.
#include "mesh/vtk_reader.h"

#include <vtkCallbackCommand.h>
#include <vtkCellData.h>
#include <vtkCommand.h>
#include <vtkDataArray.h>
#include <vtkDataSet.h>
#include <vtkDataSetReader.h>
#include <vtkIdList.h>
#include <vtkLogger.h>
#include <vtkNew.h>
#include <vtkOutputWindow.h>
#include <vtkPointData.h>
#include <vtkSmartPointer.h>
#include <vtkXMLPUnstructuredGridReader.h>
#include <vtkXMLUnstructuredGridReader.h>
#include <vtkCellArray.h>
#include <vtkPolyData.h>
#include <vtkUnsignedCharArray.h>
#include <vtkUnstructuredGrid.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <new>
#include <stdexcept>
#include <string_view>

namespace kv::mesh {
namespace {

std::string lowerExtension(const std::string& path) {
  size_t dot = path.find_last_of('.');
  size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

// Collects the error messages a VTK object raises instead of letting VTK print them.
struct ErrorSink {
  std::string message;

  // VTK's text is "ERROR: In FILE, line N\nCLASS (ADDRESS): MESSAGE\n": only MESSAGE is kept.
  static void collect(vtkObject*, unsigned long, void* sink, void* text) {
    auto& m = static_cast<ErrorSink*>(sink)->message;
    if (!m.empty() || !text) return;
    std::string t = static_cast<const char*>(text);
    size_t start = t.rfind("): ");
    m = start == std::string::npos ? t : t.substr(start + 3);
    while (!m.empty() && std::isspace(static_cast<unsigned char>(m.back()))) m.pop_back();
    std::replace_if(m.begin(), m.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  }
};

// Every numeric array of `data` as quantities (vectors split into components) of `cloud`.
void addArrays(vtkFieldData* data, vtkIdType tuples, PointCloud& cloud) {
  for (int a = 0; a < data->GetNumberOfArrays(); ++a) {
    vtkDataArray* array = data->GetArray(a);  // null for string arrays
    if (!array || array->GetNumberOfTuples() != tuples) continue;
    const char* name = array->GetName();
    if (name && std::string_view(name).starts_with("vtk")) continue;  // VTK's own bookkeeping
    std::string base = name && *name ? name : "array" + std::to_string(a);
    const int components = array->GetNumberOfComponents();
    for (int c = 0; c < components; ++c) {
      Quantity q;
      q.name = components == 1 ? base : base + ":" + std::to_string(c);
      q.values.resize(static_cast<size_t>(tuples));
      for (vtkIdType i = 0; i < tuples; ++i) {
        q.values[static_cast<size_t>(i)] = array->GetComponent(i, c);
      }
      cloud.quantities.push_back(std::move(q));
    }
  }
}

// What is wrong with the cells of an array, or nothing: offsets from 0, in order, to the end of
// the connectivity, and every point one of the data set's. VTK's readers take both as the file
// gives them; nothing may be read through them before they are checked.
std::optional<std::string> badCells(vtkCellArray* cells, vtkIdType points) {
  if (cells == nullptr) return std::nullopt;
  vtkDataArray* offsets = cells->GetOffsetsArray();
  vtkDataArray* connectivity = cells->GetConnectivityArray();
  if (offsets == nullptr || connectivity == nullptr) return std::nullopt;
  const vtkIdType size = connectivity->GetNumberOfValues();
  double previous = 0;
  for (vtkIdType k = 0; k < offsets->GetNumberOfValues(); ++k) {
    const double offset = offsets->GetComponent(k, 0);
    if ((k == 0 && offset != 0) || offset < previous || offset > static_cast<double>(size)) {
      return "the offset of cell " + std::to_string(k) + " is out of order or past the " +
             std::to_string(size) + " values of the connectivity";
    }
    previous = offset;
  }
  if (offsets->GetNumberOfValues() > 0 && previous != static_cast<double>(size)) {
    return "the cell offsets do not end at the end of the connectivity";
  }
  for (vtkIdType k = 0; k < size; ++k) {
    const double point = connectivity->GetComponent(k, 0);
    if (!(point >= 0 && point < static_cast<double>(points))) {
      char text[32];
      std::snprintf(text, sizeof text, "%.0f", point);
      return "a cell refers to point " + std::string(text) + " of a cloud of " +
             std::to_string(points) + " points";
    }
  }
  return std::nullopt;
}

// The cells of an unstructured grid or of polygonal data, checked; other data sets have
// implicit cells.
std::optional<std::string> checkCells(vtkDataSet* set) {
  const vtkIdType points = set->GetNumberOfPoints();
  if (auto* grid = vtkUnstructuredGrid::SafeDownCast(set)) {
    if (auto error = badCells(grid->GetCells(), points)) return error;
    vtkUnsignedCharArray* types = grid->GetCellTypesArray();
    const vtkIdType cells = grid->GetCells() ? grid->GetCells()->GetNumberOfCells() : 0;
    if (cells > 0 && (types == nullptr || types->GetNumberOfValues() != cells)) {
      return std::to_string(cells) + " cells but " +
             std::to_string(types ? types->GetNumberOfValues() : 0) + " cell types";
    }
  } else if (auto* poly = vtkPolyData::SafeDownCast(set)) {
    for (vtkCellArray* cells :
         {poly->GetVerts(), poly->GetLines(), poly->GetPolys(), poly->GetStrips()}) {
      if (auto error = badCells(cells, points)) return error;
    }
  }
  return std::nullopt;
}

// Fills `out` from the data set, its cells checked.
void convert(vtkDataSet* set, VtkContent& out) {
  const vtkIdType n = set->GetNumberOfPoints();
  bool anyY = false, anyZ = false;
  for (vtkIdType i = 0; i < n; ++i) {
    double x[3];
    set->GetPoint(i, x);
    anyY = anyY || x[1] != 0;
    anyZ = anyZ || x[2] != 0;
  }
  const int dim = anyZ ? 3 : anyY ? 2 : 1;
  PointCloud& points = out.points;
  points.dim = dim;
  points.coordinates.resize(static_cast<size_t>(n) * dim);
  for (vtkIdType i = 0; i < n; ++i) {
    double x[3];
    set->GetPoint(i, x);
    std::copy(x, x + dim, points.coordinates.begin() + i * dim);
  }
  addArrays(set->GetPointData(), n, points);

  PointCloud& centres = out.cellCentres;
  centres.dim = dim;
  vtkNew<vtkIdList> ids;
  vtkNew<vtkIdList> kept;  // the cells with points
  for (vtkIdType c = 0; c < set->GetNumberOfCells(); ++c) {
    set->GetCellPoints(c, ids);
    if (ids->GetNumberOfIds() == 0) continue;
    kept->InsertNextId(c);
    double centre[3] = {0, 0, 0};
    for (vtkIdType k = 0; k < ids->GetNumberOfIds(); ++k) {
      points.cells.connectivity.push_back(ids->GetId(k));
      double x[3];
      set->GetPoint(ids->GetId(k), x);
      for (int d = 0; d < dim; ++d) centre[d] += x[d];
    }
    points.cells.offsets.push_back(static_cast<int64_t>(points.cells.connectivity.size()));
    points.cells.types.push_back(static_cast<uint8_t>(set->GetCellType(c)));
    for (int d = 0; d < dim; ++d) {
      centres.coordinates.push_back(centre[d] / static_cast<double>(ids->GetNumberOfIds()));
    }
  }
  if (kept->GetNumberOfIds() == set->GetNumberOfCells()) {
    addArrays(set->GetCellData(), set->GetNumberOfCells(), centres);
  } else {
    vtkNew<vtkCellData> data;  // the cell data of the kept cells only
    data->CopyAllocate(set->GetCellData(), kept->GetNumberOfIds());
    for (vtkIdType k = 0; k < kept->GetNumberOfIds(); ++k) {
      data->CopyData(set->GetCellData(), kept->GetId(k), k);
    }
    addArrays(data, kept->GetNumberOfIds(), centres);
  }
}

}  // namespace

bool vtkReaderAvailable() { return true; }

std::optional<std::string> readVtk(const std::string& path, VtkContent& out,
                                   const VtkDeclared* declared) {
  out = VtkContent{};
  const std::string ext = lowerExtension(path);
  vtkSmartPointer<vtkAlgorithm> reader;
  if (ext == ".vtu") {
    auto r = vtkSmartPointer<vtkXMLUnstructuredGridReader>::New();
    r->SetFileName(path.c_str());
    reader = r;
  } else if (ext == ".pvtu") {
    auto r = vtkSmartPointer<vtkXMLPUnstructuredGridReader>::New();
    r->SetFileName(path.c_str());
    reader = r;
  } else if (ext == ".vtk") {
    auto r = vtkSmartPointer<vtkDataSetReader>::New();
    r->SetFileName(path.c_str());
    reader = r;
  } else {
    return "cannot read " + path + ": VTK files end in .vtu, .pvtu or .vtk";
  }
  if (!std::ifstream(path, std::ios::binary)) return "cannot open " + path;
  const std::optional<VtkDeclared> own = declared ? std::nullopt : declaredVtk(path);
  if (!declared && own) declared = &*own;
  if (declared && !declared->fault.empty()) {
    const std::string line = declared->line ? "line " + std::to_string(declared->line) + ": " : "";
    return "cannot read " + path + ": " + line + declared->fault;
  }
  // The errors that matter come back in the message; VTK's own printing of them (and of the
  // pipeline's follow-up errors) would only repeat them on standard error.
  static std::once_flag quiet;
  std::call_once(quiet, [] {
    vtkOutputWindow::GetInstance()->SetDisplayModeToNever();
    vtkLogger::SetStderrVerbosity(vtkLogger::VERBOSITY_OFF);
  });
  ErrorSink sink;
  vtkNew<vtkCallbackCommand> onError;
  onError->SetCallback(&ErrorSink::collect);
  onError->SetClientData(&sink);
  reader->AddObserver(vtkCommand::ErrorEvent, onError);
  // VTK allocates what a file declares, some of it with new: what it cannot have is refused
  // like any other fault of the file.
  try {
    reader->Update();
    auto* set = vtkDataSet::SafeDownCast(reader->GetOutputDataObject(0));
    if (!sink.message.empty() || !set) {
      return "cannot read " + path + ": " +
             (sink.message.empty() ? "not a VTK data set" : sink.message);
    }
    if (auto error = checkCells(set)) return "cannot read " + path + ": " + *error;
    convert(set, out);
  } catch (const std::bad_alloc&) {
    out = VtkContent{};
    return "cannot read " + path + ": it declares more than this machine's memory holds";
  } catch (const std::exception& e) {
    out = VtkContent{};
    return "cannot read " + path + ": " + e.what();
  }
  for (const PointCloud* cloud : {&out.points, &out.cellCentres}) {
    if (auto error = validate(*cloud)) {
      out = VtkContent{};
      return "cannot read " + path + ": " + *error;
    }
  }
  return std::nullopt;
}

}  // namespace kv::mesh

#ifdef KV_VTK_MODULE
// The entry point of the module libkv_vtk.so, which vtk_loader_posix.cpp loads: the one name it
// exports.
extern "C" __attribute__((visibility("default"))) void kvReadVtkChecked(
    const std::string* path, kv::mesh::VtkContent* out, const kv::mesh::VtkDeclared* declared,
    std::optional<std::string>* error) {
  *error = kv::mesh::readVtk(*path, *out, declared);
}
#endif
