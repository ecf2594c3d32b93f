// The INI reader and the settings read from it.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "config/settings.h"
#include "platform/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Vs5Platform::IniFile ini = Vs5Platform::IniFile::Parse(text);
    const Settings first = Settings::Read(ini, nullptr);
    Settings::Read(ini, &first);
    ini.GetString("a", "b", "def", 3);
    ini.GetString("", "", "def", 1);
    ini.GetInt("Server", "Port", -1);
    for (const std::string& cmd : {"resize", "thumbnail", "", "*"})
        first.IsCommandAvailable(cmd);
    // The first line as a value on its own.
    Vs5Platform::ParseProfileInt(text.substr(0, text.find('\n')), 5);
    return 0;
}
