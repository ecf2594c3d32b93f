// One reading of the INI file. A reading is never changed after it is
// published: a reload builds a new Settings and swaps the pointer, so request
// threads always see a whole, consistent set of values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ini_file.h"

struct DefaultCommandEntry {
    std::string key;  // lower case
    std::string command;
};

struct ImpersonationEntry {
    std::string key;  // lower case
    std::string user;
    std::string password;
};

struct Settings {
    static constexpr int kMaxDefaultCommands = 32;
    static constexpr int kMaxImpersonations = 16;
    static constexpr int64_t kMinCacheSize = 4194304;
    static constexpr int kDefaultPort = 19985;
    static constexpr int kMaxCacheSubFolders = 1024;

    // [Server]
    uint16_t port = 19985;  // start only
    std::string accessPermit = "127.0.0.1;";
    bool requestLogging = true;
    bool logErrorsOnly = false;
    bool useCache = true;
    int keepLogDay = 30;
    std::string cachePath;    // start only; as written in the INI file
    int cacheSubFolders = 8;  // start only
    int64_t maxCacheSize = 67108864;
    int engineWorkprocessCount = 0;  // start only
    int recycleWebCapture = 100;
    bool agentLogging = false;
    std::string wkHtmlPath;
    int ansiCodePage = 1252;
    // Largest request frame a client may announce, in MiB; a larger one closes
    // the connection. Values below 1 take the default.
    int maxRequestSize = 128;
    // Seconds a capture tool may run before it is killed; 0 = no limit.
    int webCaptureTimeout = 60;
    // Bytes all connections together may hold for requests not yet answered,
    // in MiB; the connection whose bytes would pass it is closed.
    int maxBufferedRequests = 512;
    // Connections open at one time; a client beyond it is closed at once.
    int maxConnections = 4096;
    // Port of the HTTP metrics and health endpoint on 127.0.0.1; 0 = off
    // (start only).
    int metricsPort = 0;

    // [ImageProcessing]
    std::string imageDefaultTarget = "jpg";
    std::string imageJpegTarget = "jpg";
    std::string imagePngTarget = "jpg";
    std::string imageBmpTarget = "jpg";
    std::string imageGifTarget = "jpg";
    std::string imageTifTarget = "jpg";
    int imageJpegQuality = 90;
    int maxResizeWidth = 2048;
    int maxResizeHeight = 2048;
    // "*" or "," followed by the lower-case list as written.
    std::string availableCommands = "*";
    int persistMetadata = 0;
    // Largest decoded image or blank canvas, in pixels; larger ones are
    // refused before any memory is taken.
    int64_t maxImagePixels = 100000000;
    // Seconds a worker process may take to answer one step before it is
    // killed and restarted; 0 = no limit.
    int workerTimeout = 60;

    // [DefaultCommand] and [Impersonation], in key order.
    std::vector<DefaultCommandEntry> defaultCommands;
    std::vector<ImpersonationEntry> impersonations;

    // Values that could not be used as written, one system-log line each
    // (with its "\r\n"); the reader writes them out.
    std::vector<std::string> problems;

    // Reads every key. `previous` supplies the start-only values on a reload;
    // pass nullptr for the first reading.
    static Settings Read(const Vs5Platform::IniFile& ini, const Settings* previous);

    // True when `cmd` may be used by a client's request command.
    bool IsCommandAvailable(const std::string& cmd) const;
};

// A JPEG quality as the encoders take it: cut to 0..100.
uint32_t JpegQuality(int quality);

// "Thumb,Resize" -> ",thumb,resize"; "*" stays "*".
std::string NormaliseAvailableCommands(const std::string& value);
