// The module folder: the folder of the running executable. The server keeps
// its INI file, working folders and worker program there.
#pragma once

#include <string>

namespace Vs5Platform {

// Full path of the running executable; empty when /proc/self/exe is unreadable.
std::string ExecutablePath();

// Folder of the running executable, without a trailing slash.
std::string ModuleFolder();

// Joins two path pieces with exactly one '/'.
std::string JoinPath(const std::string& folder, const std::string& name);

// Creates a folder; true when it exists afterwards. Sets errno on failure.
bool CreateFolder(const std::string& path);

}  // namespace Vs5Platform
