// The one registry of the files a run writes under fixed names: the plot data files and the
// plot scripts it completes (the listing's name comes from the input). The writers take their
// names from here, and the listing-name check refuses every one of them.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace kv {

enum class OutputFile : uint8_t {
  // Orders.
  pL_dat, pE_h_dat, pU_h_dat, p2_dat, pE_i_dat, pU_i_dat, p3_dat, pE_bi_dat, pU_bi_dat,
  pE_c12_dat, pU_c12_dat, pE_c13_dat, pU_c13_dat,
  // Estimated errors.
  U_12_dat, Uri_13_dat, Uri_23_dat, Uri_bi_dat, Uri_pU_dat, Uc_12_dat, Uc_13_dat, Utri_dat,
  // True errors and their reference lines.
  Eh_dat, Ei_12_dat, Ei_13_dat, Ei_23_dat, Ei_bi_dat, Ei_tri_dat, Ei_pU_dat, Ec_12_dat,
  Ec_13_dat, Ebi_dat, E_pL_p2_dat, E_p3_dat,
  // Reference lines of the estimated errors.
  U_pL_dat, U_p2_dat, U_p3_dat,
  // Plot scripts.
  pE_pU_gnu, pU_gnu, E_gnu, E_U_gnu, U_gnu, E_U_2_gnu, U_2_gnu,
  None,  // no file: not in the registry
};

// When a run writes (or completes) a file.
enum class WrittenWhen : uint8_t { Always, WithExact, WithoutExact };

struct OutputFileEntry {
  OutputFile id;
  std::string_view name;
  WrittenWhen when;
};

// Every fixed output file, in the order of OutputFile.
std::span<const OutputFileEntry> outputFiles();

std::string_view outputFileName(OutputFile id);

// Whether a run with (or without) an exact value writes the file.
constexpr bool writtenBy(WrittenWhen when, bool hasExact) {
  return when == WrittenWhen::Always || (when == WrittenWhen::WithExact) == hasExact;
}

}  // namespace kv
