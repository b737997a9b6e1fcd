#pragma once

#include <string>
#include <string_view>

#include "app/program_info.h"

namespace zr {

// The texts made from the option tables, so that none of them drifts from the others.

// What --help prints: for a program (its commands or its options), or for one command.
std::string programHelp(const ProgramInfo& program);
std::string commandHelp(const ProgramInfo& program, const CliCommand& command);

// The manual page of a program, in the man macros of roff.
std::string manualPage(const ProgramInfo& program, std::string_view version);

// A bash completion script for a program: its commands, their options, the codec names the
// program lists when asked, the settings-file keys, files and folders.
std::string bashCompletion(const ProgramInfo& program);

}  // namespace zr
