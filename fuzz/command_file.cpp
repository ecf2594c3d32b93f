// Command files and their placeholders: the first line of the input is the
// request's command, the rest the file; every command of the file is filled
// from the request and read as a command-file line is.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "photocmd/command_file_store.h"
#include "photocmd/fill_template.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    const size_t lineEnd = text.find('\n');
    const std::string_view request = text.substr(0, lineEnd);
    const std::string_view content =
        lineEnd == std::string_view::npos ? std::string_view() : text.substr(lineEnd + 1);

    const Vs4Command::ParamMap requestParams = Vs4Command::ParseParams(request);
    Vs4Command::CommandFile file;
    Vs4Command::ParseCommandFileContent(content, file);
    VsFuzz::Check(file.count() <= int(Vs4Command::CommandFile::kMaxCommands), "command limit");
    for (int i = -1; i <= file.count(); ++i) {
        Vs4Command::ParamMap filled;
        const bool ok = Vs4Command::FillTemplate(file, i, requestParams, filled);
        VsFuzz::Check(ok == (i >= 0 && i < file.count()), "index range");
        if (ok)
            VsFuzz::ReadWithEveryRunner(filled);
    }
    Vs4Command::FillPlaceholders(content, requestParams);
    return 0;
}
