// Runs command lines through the shell for a test's set-up: ImageMagick,
// exiv2, mkfifo, useradd and the like.
#pragma once

#include <cstdlib>
#include <string>

namespace vstest {

// Runs `command` with /bin/sh, its output and errors discarded; true when it
// exits with 0.
inline bool Shell(const std::string& command) {
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

// `word` in single quotes, for a path in a command line.
inline std::string Quoted(const std::string& word) {
    std::string out = "'";
    for (char c : word)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace vstest
