#include "config/settings.h"

#include <algorithm>

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

}  // namespace

std::string NormaliseAvailableCommands(const std::string& value) {
    std::string lower = AsciiLower(value);
    return lower == "*" ? lower : "," + lower;
}

Settings Settings::Read(const IniFile& ini, const Settings* previous) {
    Settings s;
    const char* server = "Server";
    s.port =
        static_cast<uint16_t>(static_cast<unsigned>(ini.GetInt(server, "Port", 19985)) % 65536);
    s.accessPermit = ini.GetString(server, "AccessPermit", "127.0.0.1;");
    s.requestLogging = ReadBool(ini, server, "RequestLogging", "true");
    s.logErrorsOnly = ReadBool(ini, server, "LogErrorsOnly", "false");
    s.useCache = ReadBool(ini, server, "UseCache", "true");
    s.keepLogDay = ini.GetInt(server, "KeepLogDay", 30);
    s.cachePath = ini.GetString(server, "CachePath", "", 261);
    s.cacheSubFolders = ini.GetInt(server, "CacheSubFolders", 8);
    int64_t mib = ini.GetInt(server, "MaxCacheSize", 64);
    s.maxCacheSize = std::max<int64_t>(mib * 1048576, kMinCacheSize);
    s.engineWorkprocessCount = ini.GetInt(server, "EngineWorkprocessCount", 0);
    s.recycleWebCapture = ini.GetInt(server, "RecycleWebCapture", 100);
    s.agentLogging = ReadBool(ini, server, "AgentLogging", "false");
    s.wkHtmlPath = ini.GetString(server, "WkHtmlPath", "", 261);
    s.ansiCodePage = ini.GetInt(server, "AnsiCodePage", 1252);
    s.maxRequestSize = ini.GetInt(server, "MaxRequestSize", 128);
    if (s.maxRequestSize < 1)
        s.maxRequestSize = 128;
    s.webCaptureTimeout = std::max(0, ini.GetInt(server, "WebCaptureTimeout", 60));

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
    }
    return s;
}

bool Settings::IsCommandAvailable(const std::string& cmd) const {
    if (availableCommands == "*")
        return true;
    return availableCommands.find("," + cmd) != std::string::npos;
}
