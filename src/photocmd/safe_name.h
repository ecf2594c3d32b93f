// Checks that keep names from requests inside the folder they are meant for.
#pragma once

#include <string_view>

namespace Vs4Command {

// A command-file name is one plain file name: no "/", no "..", no NUL.
bool IsPlainFileName(std::string_view name);

// A relative path that stays inside its folder: no ".." component and no NUL
// (sub-folders are allowed).
bool StaysInsideFolder(std::string_view relativePath);

}  // namespace Vs4Command
