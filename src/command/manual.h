// The man page kestrovanilque(1) and the bash completion of the commands, made at build time
// (kestrovanilque_manual) from templates whose @NAME@ placeholders are filled with what --help
// says (command/arguments.h) and what the option rows say (study/options.h): an option is
// written once, in its row.
#pragma once

#include <string>
#include <string_view>

namespace kv::study {

// A troff page with @STUDY_SUMMARY@, @CASE@, @STUDY_OPTIONS@, @MERGE_SUMMARY@, @SLAB_DIR@ and
// @MERGE_OPTIONS@ filled in: the options as --help lists them, each with its value, its help and
// (for a study) the cases it applies to.
std::string manPage(std::string_view page);

// A bash script with @STUDY_OPTIONS@ and @MERGE_OPTIONS@ (the words to complete) and @VALUES@
// (one arm of a `case "$prev"` per kind of value: the choices of a text, folder or file names,
// nothing for a number) filled in.
std::string bashCompletion(std::string_view script);

}  // namespace kv::study
