// Photo-command text: the parser, every typed reader and text decoding, and
// the operation readers of every runner over the parsed command.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "photocmd/classify.h"
#include "photocmd/number_text.h"
#include "photocmd/param_readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Vs4Command::ParamMap params = Vs4Command::ParseParams(text);
    for (const auto& [key, value] : params) {
        VsFuzz::Check(!key.empty(), "no empty key");
        Vs4Command::GetText(params, key, true);
        Vs4Command::GetText(params, key, false);
        Vs4Command::GetInt(params, key, 7);
        Vs4Command::GetFloat(params, key, 0.5f);
        Vs4Command::GetBool(params, key, false);
        Vs4Command::GetColor(params, key, 0xFF000000u);
        Vs4Command::GetLowerString(params, key);
        Vs4Command::ParseDecimalDouble(value);
        Vs4Command::ParseDecimalInt(value);
        Vs4Command::DecodeQueryBytes(value);
    }
    Vs4Command::ClassifyCommand(params);
    VsFuzz::ReadWithEveryRunner(params);
    return 0;
}
