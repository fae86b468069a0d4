#include <process.h>

#include <string>

#include "study/gnuplot.h"

namespace kv::study {

bool runGnuplot(const std::filesystem::path& script) {
  // The script name is quoted: _wspawnlp joins its arguments into one command line.
  const std::wstring quoted = L"\"" + script.wstring() + L"\"";
  const intptr_t status =
      _wspawnlp(_P_WAIT, L"gnuplot.exe", L"gnuplot.exe", quoted.c_str(), static_cast<wchar_t*>(nullptr));
  return status == 0;
}

}  // namespace kv::study
