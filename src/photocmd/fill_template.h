// Filling the placeholders of a command-file line from the request.
#pragma once

#include <string>
#include <string_view>

#include "photocmd/command_file_store.h"
#include "photocmd/param_map.h"

namespace Vs4Command {

// Replaces every placeholder "<%name%>" (name: one or more of A-Z, a-z, 0-9
// and "_", matched without regard to case) by the request's value of the
// lower-cased name, or by nothing when the request lacks it. The text is
// searched once, left to right: a request value that itself holds a
// placeholder is inserted as it is and not searched again, so filling always
// ends.
std::string FillPlaceholders(std::string_view text, const ParamMap& request);

// Fills command `index` of the file into `out` (which should be empty): keys
// as written, every value filled. Filled values may be empty. False when the
// index is outside 0..count-1.
bool FillTemplate(const CommandFile& file, int index, const ParamMap& request, ParamMap& out);

}  // namespace Vs4Command
