// readVtk() through the module libkv_vtk.so (vtk_reader.cpp and VTK's libraries), loaded on the
// first call. It is looked for beside the program (or the library) this code is part of, in the
// folder above it, and in lib/kestrovanilque beside the bin or lib folder it was installed to.
#include <dlfcn.h>

#include <filesystem>
#include <mutex>
#include <vector>

#include "mesh/vtk_reader.h"

namespace kv::mesh {

namespace {

namespace fs = std::filesystem;

using Entry = void (*)(const std::string*, VtkContent*, const VtkDeclared*,
                      std::optional<std::string>*);

void anchor() {}

// The folders this code was loaded from: the program's, and the shared library's when it is
// part of one (the Python module).
std::vector<fs::path> ownFolders() {
  std::vector<fs::path> folders;
  std::error_code error;
  const fs::path program = fs::read_symlink("/proc/self/exe", error);
  if (!error) folders.push_back(program.parent_path());
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&anchor), &info) != 0 && info.dli_fname != nullptr) {
    const fs::path self = fs::absolute(info.dli_fname, error);
    if (!error && fs::is_regular_file(self, error)) folders.push_back(self.parent_path());
  }
  return folders;
}

Entry entry() {
  static Entry loaded = nullptr;
  static std::once_flag once;
  std::call_once(once, [] {
    for (const fs::path& folder : ownFolders()) {
      for (const fs::path& candidate :
           {folder / "libkv_vtk.so", folder / ".." / "libkv_vtk.so",
            folder / ".." / "lib" / "kestrovanilque" / "libkv_vtk.so",
            folder / ".." / ".." / "kestrovanilque" / "libkv_vtk.so"}) {
        std::error_code error;
        if (!fs::is_regular_file(candidate, error)) continue;
        void* module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) continue;
        loaded = reinterpret_cast<Entry>(dlsym(module, "kvReadVtkChecked"));
        if (loaded != nullptr) return;
      }
    }
  });
  return loaded;
}

}  // namespace

bool vtkReaderAvailable() { return entry() != nullptr; }

std::optional<std::string> readVtk(const std::string& path, VtkContent& out,
                                   const VtkDeclared* declared) {
  out = VtkContent{};
  const Entry read = entry();
  if (read == nullptr) {
    return "cannot read " + path +
           ": this installation of kestrovanilque lacks its VTK reader (libkv_vtk.so, beside the "
           "program or in lib/kestrovanilque), or VTK 9's libraries. " +
           std::string(kExportCsvAdvice);
  }
  std::optional<std::string> error;
  read(&path, &out, declared, &error);
  return error;
}

}  // namespace kv::mesh
