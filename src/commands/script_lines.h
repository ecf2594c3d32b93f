// Scripts of EXEC and EXEC2: the lines to run and the text the request log
// shows for them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace Vs4Command {

// The lines of a script: split at line feeds, empty lines skipped, and a
// carriage return before a line feed dropped, so scripts written with CR LF
// line ends run as their authors meant.
std::vector<std::string> ScriptLines(std::string_view script);

// The script up to its first line feed, followed by "..." when that line
// feed is not its first character; cut to `maxUnits` characters when given.
std::string ScriptLogText(std::string_view script, size_t maxUnits = 0);

}  // namespace Vs4Command
