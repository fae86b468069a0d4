// readVtk() in a build without VTK 9.
#include "mesh/vtk_reader.h"

namespace kv::mesh {

bool vtkReaderAvailable() { return false; }

std::optional<std::string> readVtk(const std::string& path, VtkContent& out) {
  out = VtkContent{};
  return "cannot read " + path +
         ": this build of kestrovanilque reads no VTK files (it was built without VTK 9). "
         "Export the data as CSV instead: in ParaView, File > Save Data > CSV, with the "
         "\"Points\" coordinates (Points:0, Points:1, Points:2 columns) and the point data";
}

}  // namespace kv::mesh
