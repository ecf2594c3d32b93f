// Splitting a script into its lines: at line feeds, empty lines skipped, and
// a carriage return before a line feed dropped, so scripts written with CR LF
// line ends run as their authors meant.
#pragma once

#include <string>
#include <vector>

namespace Vs4Command {

std::vector<std::string> ScriptLines(const std::string& script);

}  // namespace Vs4Command
