// The command line of vistrel-img.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct ImgOptions {
    std::string iniPath;  // --ini; empty: vistrel5.ini in the home folder
    std::string home;     // --home; empty: the program's own folder
    // --image NAME=FILE: images that merge can name with imgno.
    std::vector<std::pair<std::string, std::string>> namedImages;
    std::string input;
    std::string output;
    std::vector<std::string> commands;  // photo-command texts, in order
};

// Reads the arguments after the program name. False with `error` set when
// an option is unknown or lacks its value, or INPUT, OUTPUT or the first
// command is missing. "--" ends the options.
bool ParseImgOptions(const std::vector<std::string>& args, ImgOptions& options, std::string& error);
