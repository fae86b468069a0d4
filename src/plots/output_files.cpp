#include "plots/output_files.h"

#include <cassert>
#include <iterator>

namespace kv {

namespace {

using enum OutputFile;
using enum WrittenWhen;

// clang-format off
constexpr OutputFileEntry kOutputFiles[] = {
    {pL_dat, "pL.dat", Always},                 {pE_h_dat, "pE_h.dat", Always},
    {pU_h_dat, "pU_h.dat", Always},             {p2_dat, "p2.dat", Always},
    {pE_i_dat, "pE_i.dat", Always},             {pU_i_dat, "pU_i.dat", Always},
    {p3_dat, "p3.dat", Always},                 {pE_bi_dat, "pE_bi.dat", Always},
    {pU_bi_dat, "pU_bi.dat", Always},           {pE_c12_dat, "pE_c12.dat", Always},
    {pU_c12_dat, "pU_c12.dat", Always},         {pE_c13_dat, "pE_c13.dat", Always},
    {pU_c13_dat, "pU_c13.dat", Always},
    {U_12_dat, "U_12.dat", Always},             {Uri_13_dat, "Uri_13.dat", Always},
    {Uri_23_dat, "Uri_23.dat", Always},         {Uri_bi_dat, "Uri_bi.dat", Always},
    {Uri_pU_dat, "Uri_pU.dat", Always},         {Uc_12_dat, "Uc_12.dat", Always},
    {Uc_13_dat, "Uc_13.dat", Always},           {Utri_dat, "Utri.dat", Always},
    {Eh_dat, "Eh.dat", WithExact},              {Ei_12_dat, "Ei_12.dat", WithExact},
    {Ei_13_dat, "Ei_13.dat", WithExact},        {Ei_23_dat, "Ei_23.dat", WithExact},
    {Ei_bi_dat, "Ei_bi.dat", WithExact},        {Ei_tri_dat, "Ei_tri.dat", WithExact},
    {Ei_pU_dat, "Ei_pU.dat", WithExact},        {Ec_12_dat, "Ec_12.dat", WithExact},
    {Ec_13_dat, "Ec_13.dat", WithExact},        {Ebi_dat, "Ebi.dat", WithExact},
    {E_pL_p2_dat, "E_pL_p2.dat", WithExact},    {E_p3_dat, "E_p3.dat", WithExact},
    {U_pL_dat, "U_pL.dat", Always},             {U_p2_dat, "U_p2.dat", Always},
    {U_p3_dat, "U_p3.dat", Always},
    {pE_pU_gnu, "Kestrovanilque_pE_pU.gnu", WithExact},
    {pU_gnu, "Kestrovanilque_pU.gnu", WithoutExact},
    {E_gnu, "Kestrovanilque_E.gnu", WithExact},
    {E_U_gnu, "Kestrovanilque_E_U.gnu", WithExact},
    {U_gnu, "Kestrovanilque_U.gnu", WithoutExact},
    {E_U_2_gnu, "Kestrovanilque_E_U_2.gnu", WithExact},
    {U_2_gnu, "Kestrovanilque_U_2.gnu", WithoutExact},
};
// clang-format on

constexpr bool inEnumOrder() {
  for (size_t k = 0; k < std::size(kOutputFiles); ++k) {
    if (static_cast<size_t>(kOutputFiles[k].id) != k) return false;
  }
  return std::size(kOutputFiles) == static_cast<size_t>(None);
}
static_assert(inEnumOrder());

}  // namespace

std::span<const OutputFileEntry> outputFiles() { return kOutputFiles; }

std::string_view outputFileName(OutputFile id) {
  assert(id != None);
  return kOutputFiles[static_cast<size_t>(id)].name;
}

}  // namespace kv
