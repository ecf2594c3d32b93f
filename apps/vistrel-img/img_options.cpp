#include "img_options.h"

namespace {

// Takes the value of the option at args[i]; false when there is none.
bool TakeValue(const std::vector<std::string>& args, size_t& i, std::string& value,
               std::string& error) {
    if (i + 1 >= args.size()) {
        error = args[i] + " needs a value";
        return false;
    }
    value = args[++i];
    return true;
}

bool AddNamedImage(const std::string& spec, ImgOptions& options, std::string& error) {
    size_t eq = spec.find('=');
    if (eq == std::string::npos || eq + 1 == spec.size()) {
        error = "--image takes NAME=FILE";
        return false;
    }
    options.namedImages.emplace_back(spec.substr(0, eq), spec.substr(eq + 1));
    return true;
}

}  // namespace

bool ParseImgOptions(const std::vector<std::string>& args, ImgOptions& options,
                     std::string& error) {
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-' || a[1] != '-') {
            positional.push_back(a);
        } else if (a == "--") {
            optionsEnded = true;
        } else if (a == "--ini") {
            if (!TakeValue(args, i, options.iniPath, error))
                return false;
        } else if (a == "--home") {
            if (!TakeValue(args, i, options.home, error))
                return false;
        } else if (a == "--image") {
            std::string spec;
            if (!TakeValue(args, i, spec, error) || !AddNamedImage(spec, options, error))
                return false;
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    if (positional.size() < 3) {
        error = "INPUT, OUTPUT and at least one command are needed";
        return false;
    }
    options.input = positional[0];
    options.output = positional[1];
    options.commands.assign(positional.begin() + 2, positional.end());
    return true;
}
