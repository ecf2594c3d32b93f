#include "config/settings.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdio>

#include "platform/codepage.h"
#include "platform/text.h"

using Vs5Platform::AsciiLower;
using Vs5Platform::IniFile;

namespace {

bool ReadBool(const IniFile& ini, const char* section, const char* key, const char* def) {
    return Vs5Platform::EqualsNoCase(ini.GetString(section, key, def), "true");
}

void ReadDefaultCommands(const IniFile& ini, Settings& s) {
    for (int i = 0; i < Settings::kMaxDefaultCommands; ++i) {
        std::string value = ini.GetString("DefaultCommand", "Command" + std::to_string(i), "");
        if (value.empty())
            continue;
        size_t semi = value.find(';');
        DefaultCommandEntry entry;
        entry.key = AsciiLower(value.substr(0, semi));
        if (semi != std::string::npos)
            entry.command = value.substr(semi + 1);
        s.defaultCommands.push_back(std::move(entry));
    }
}

void ReadImpersonations(const IniFile& ini, Settings& s) {
    for (int i = 0; i < Settings::kMaxImpersonations; ++i) {
        std::string value = ini.GetString("Impersonation", "Impersonate" + std::to_string(i), "");
        if (value.empty())
            continue;
        std::string fields[3];
        int n = 0;
        Vs5Platform::ForEachToken(value, ";", [&](std::string_view token) {
            fields[n++] = Vs5Platform::TruncateUtf16(token, 1023);
            return n < 3;
        });
        s.impersonations.push_back({AsciiLower(fields[0]), fields[1], fields[2]});
    }
}

std::string Line(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Line(const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    return buffer;
}

// The number of the key, or `fallback` with a line for the system log when
// the number lies outside [low, high].
int ReadBounded(const IniFile& ini, const char* section, const char* key, int def, int low,
                int high, int fallback, std::vector<std::string>& problems) {
    int value = ini.GetInt(section, key, def);
    if (value >= low && value <= high)
        return value;
    problems.push_back(
        Line("%s=%d is out of range (%d to %d); %d is used.\r\n", key, value, low, high, fallback));
    return fallback;
}

// The code page must map the ASCII characters to themselves: the allow-list,
// paths and commands are compared as ASCII after the conversion.
int ReadCodePage(const IniFile& ini, std::vector<std::string>& problems) {
    int value = ini.GetInt("Server", "AnsiCodePage", Vs5Platform::kDefaultAnsiCodePage);
    if (Vs5Platform::IsAsciiCompatibleCodePage(value))
        return value;
    problems.push_back(Line("AnsiCodePage=%d is not an ASCII-compatible code page; %d is used.\r\n",
                            value, Vs5Platform::kDefaultAnsiCodePage));
    return Vs5Platform::kDefaultAnsiCodePage;
}

}  // namespace

uint32_t JpegQuality(int quality) {
    return static_cast<uint32_t>(std::clamp(quality, 0, 100));
}

std::string NormaliseAvailableCommands(const std::string& value) {
    std::string lower = AsciiLower(value);
    return lower == "*" ? lower : "," + lower;
}

Settings Settings::Read(const IniFile& ini, const Settings* previous) {
    Settings s;
    const char* server = "Server";
    s.port = static_cast<uint16_t>(
        ReadBounded(ini, server, "Port", kDefaultPort, 1, 65535, kDefaultPort, s.problems));
    s.accessPermit = ini.GetString(server, "AccessPermit", "127.0.0.1;");
    s.requestLogging = ReadBool(ini, server, "RequestLogging", "true");
    s.logErrorsOnly = ReadBool(ini, server, "LogErrorsOnly", "false");
    s.useCache = ReadBool(ini, server, "UseCache", "true");
    s.keepLogDay = ini.GetInt(server, "KeepLogDay", 30);
    s.cachePath = ini.GetString(server, "CachePath", "", 261);
    s.cacheSubFolders = ReadBounded(ini, server, "CacheSubFolders", 8, INT_MIN, kMaxCacheSubFolders,
                                    kMaxCacheSubFolders, s.problems);
    int64_t mib = ini.GetInt(server, "MaxCacheSize", 64);
    s.maxCacheSize = std::max<int64_t>(mib * 1048576, kMinCacheSize);
    s.engineWorkprocessCount = ini.GetInt(server, "EngineWorkprocessCount", 0);
    s.recycleWebCapture = ini.GetInt(server, "RecycleWebCapture", 100);
    s.agentLogging = ReadBool(ini, server, "AgentLogging", "false");
    s.wkHtmlPath = ini.GetString(server, "WkHtmlPath", "", 261);
    s.ansiCodePage = ReadCodePage(ini, s.problems);
    s.maxRequestSize = ini.GetInt(server, "MaxRequestSize", 128);
    if (s.maxRequestSize < 1)
        s.maxRequestSize = 128;
    s.webCaptureTimeout = std::max(0, ini.GetInt(server, "WebCaptureTimeout", 60));
    s.maxBufferedRequests =
        ReadBounded(ini, server, "MaxBufferedRequests", 512, 1, INT_MAX, 512, s.problems);
    s.maxConnections =
        ReadBounded(ini, server, "MaxConnections", 4096, 1, INT_MAX, 4096, s.problems);
    s.metricsPort = ReadBounded(ini, server, "MetricsPort", 0, 0, 65535, 0, s.problems);

    const char* image = "ImageProcessing";
    s.imageDefaultTarget = ini.GetString(image, "ImageDefaultTarget", "jpg", 16);
    s.imageJpegTarget = ini.GetString(image, "ImageJpegTarget", s.imageDefaultTarget, 16);
    s.imagePngTarget = ini.GetString(image, "ImagePngTarget", s.imageDefaultTarget, 16);
    s.imageBmpTarget = ini.GetString(image, "ImageBmpTarget", s.imageDefaultTarget, 16);
    s.imageGifTarget = ini.GetString(image, "ImageGifTarget", s.imageDefaultTarget, 16);
    s.imageTifTarget = ini.GetString(image, "ImageTifTarget", s.imageDefaultTarget, 16);
    s.imageJpegQuality = ini.GetInt(image, "ImageJpegQuality", 90);
    s.maxResizeWidth = ini.GetInt(image, "MaxResizeWidth", 2048);
    s.maxResizeHeight = ini.GetInt(image, "MaxResizeHeight", 2048);
    s.availableCommands =
        NormaliseAvailableCommands(ini.GetString(image, "AvailableCommands", "*", 2048));
    s.persistMetadata = ReadBool(ini, image, "PersistMetadata", "false") ? 1 : 0;
    const int maxPixels = ini.GetInt(image, "MaxImagePixels", 100000000);
    s.maxImagePixels = maxPixels > 0 ? maxPixels : 100000000;
    s.workerTimeout = std::max(0, ini.GetInt(image, "WorkerTimeout", 60));

    ReadDefaultCommands(ini, s);
    ReadImpersonations(ini, s);

    if (previous != nullptr) {
        // Values the running server was started with cannot change under it.
        s.port = previous->port;
        s.engineWorkprocessCount = previous->engineWorkprocessCount;
        s.cachePath = previous->cachePath;
        s.cacheSubFolders = previous->cacheSubFolders;
        s.metricsPort = previous->metricsPort;
    }
    return s;
}

bool Settings::IsCommandAvailable(const std::string& cmd) const {
    if (availableCommands == "*")
        return true;
    return availableCommands.find("," + cmd) != std::string::npos;
}
