// readVtk() in a build without VTK 9.
#include "mesh/vtk_reader.h"

namespace kv::mesh {

bool vtkReaderAvailable() { return false; }

std::optional<std::string> readVtk(const std::string& path, VtkContent& out, const VtkDeclared*) {
  out = VtkContent{};
  return "cannot read " + path +
         ": this build of kestrovanilque reads no VTK files (it was built without VTK 9). " +
         std::string(kExportCsvAdvice);
}

}  // namespace kv::mesh
