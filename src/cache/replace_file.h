// Replacing a file so that a crash never leaves half of it: a reader finds
// either the old content or the new one.
#pragma once

#include <functional>
#include <string>
#include <string_view>

// Called with the temporary file's path once it is complete on disk, just
// before it is renamed over the target. Tests use it to stop there.
using BeforeRenameHook = std::function<void(const std::string& tempPath)>;

// Writes `content` to "<path>.tmp", flushes it to disk, renames it over `path`
// and flushes the folder. On failure the old file is untouched, the temporary
// file is removed and `error` says what failed ("<step>: <strerror> (<errno>)").
bool ReplaceFileContent(const std::string& path, std::string_view content,
                        const BeforeRenameHook& beforeRename, std::string& error);
