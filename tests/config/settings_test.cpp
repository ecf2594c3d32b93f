#include "config/settings.h"

#include <gtest/gtest.h>

#include <array>
#include <sstream>

#include "config/ip_filter.h"
#include "server/test_folder.h"
#include "support/text_count.h"

using vstest::WriteFile;

namespace {

// Every value of a reading, each as " Key=value ".
std::string Describe(const Settings& s) {
    std::ostringstream o;
    o << " Port=" << s.port << " AccessPermit=" << s.accessPermit
      << " RequestLogging=" << s.requestLogging << " LogErrorsOnly=" << s.logErrorsOnly
      << " UseCache=" << s.useCache << " KeepLogDay=" << s.keepLogDay
      << " CachePath=" << s.cachePath << " CacheSubFolders=" << s.cacheSubFolders
      << " MaxCacheSize=" << s.maxCacheSize
      << " EngineWorkprocessCount=" << s.engineWorkprocessCount
      << " RecycleWebCapture=" << s.recycleWebCapture << " AgentLogging=" << s.agentLogging
      << " WkHtmlPath=" << s.wkHtmlPath << " AnsiCodePage=" << s.ansiCodePage
      << " MaxRequestSize=" << s.maxRequestSize << " WebCaptureTimeout=" << s.webCaptureTimeout
      << " MaxBufferedRequests=" << s.maxBufferedRequests << " MaxConnections=" << s.maxConnections
      << " MetricsPort=" << s.metricsPort << " Targets=" << s.imageDefaultTarget << "/"
      << s.imageJpegTarget << "/" << s.imagePngTarget << "/" << s.imageBmpTarget << "/"
      << s.imageGifTarget << "/" << s.imageTifTarget << " ImageJpegQuality=" << s.imageJpegQuality
      << " MaxResize=" << s.maxResizeWidth << "x" << s.maxResizeHeight
      << " AvailableCommands=" << s.availableCommands << " PersistMetadata=" << s.persistMetadata
      << " MaxImagePixels=" << s.maxImagePixels << " WorkerTimeout=" << s.workerTimeout << " ";
    return o.str();
}

}  // namespace

TEST(Settings, DefaultsOfAnEmptyIniFileAndTheJpegQualityBounds) {
    TestModuleFolder home("");
    auto s = home.config().settings();
    EXPECT_EQ(Describe(*s),
              " Port=19985 AccessPermit=127.0.0.1; RequestLogging=1 LogErrorsOnly=0 UseCache=1"
              " KeepLogDay=30 CachePath= CacheSubFolders=8 MaxCacheSize=67108864"
              " EngineWorkprocessCount=0 RecycleWebCapture=100 AgentLogging=0 WkHtmlPath="
              " AnsiCodePage=1252 MaxRequestSize=128 WebCaptureTimeout=60 MaxBufferedRequests=512"
              " MaxConnections=4096 MetricsPort=0 Targets=jpg/jpg/jpg/jpg/jpg/jpg"
              " ImageJpegQuality=90 MaxResize=2048x2048 AvailableCommands=* PersistMetadata=0"
              " MaxImagePixels=100000000 WorkerTimeout=60 ");
    EXPECT_TRUE(s->problems.empty());
    for (auto [quality, cut] : {std::pair{-1, 0u}, {0, 0u}, {100, 100u}, {101, 100u}})
        EXPECT_EQ(JpegQuality(quality), cut) << quality;
}

TEST(Settings, EveryLimitAtItsEdgesAndWhatIsReportedBeyondThem) {
    const std::string cut = "0123456789abcde",
                      a2047(2047, 'a');  // the longest target, command list
    const std::string t = cut + "/", out = " is out of range ";
    // A problem "(low to high); used" is short for the line
    // "<INI line> is out of range (low to high); used is used.".
    const std::array<std::string, 3> cases[] = {
        // The INI lines (read in both sections), a value as read, the problem reported.
        {"Port=1\nMetricsPort=65535", " Port=1 | MetricsPort=65535 ", ""},
        {"Port=65535\nMetricsPort=0", " Port=65535 | MetricsPort=0 ", ""},
        {"Port=0", " Port=19985 ", "(1 to 65535); 19985"},
        {"Port=65536", " Port=19985 ", "(1 to 65535); 19985"},
        {"MetricsPort=65536", " MetricsPort=0 ", "(0 to 65535); 0"},
        {"CacheSubFolders=1024", " CacheSubFolders=1024 ", ""},
        {"CacheSubFolders=1025", " CacheSubFolders=1024 ", "(-2147483648 to 1024); 1024"},
        {"MaxConnections=1\nMaxBufferedRequests=1", " MaxBufferedRequests=1 MaxConnections=1 ", ""},
        {"MaxConnections=0", " MaxConnections=4096 ", "(1 to 2147483647); 4096"},
        {"MaxBufferedRequests=0", " MaxBufferedRequests=512 ", "(1 to 2147483647); 512"},
        {"AnsiCodePage=65001", " AnsiCodePage=65001 ", ""},
        {"AnsiCodePage=1200", " AnsiCodePage=1252 ",
         "AnsiCodePage=1200 is not an ASCII-compatible code page; 1252 is used.\r\n"},
        {"MaxCacheSize=3", " MaxCacheSize=4194304 ", ""},  // the floor of 4 MiB
        {"MaxCacheSize=5", " MaxCacheSize=5242880 ", ""},
        {"MaxRequestSize=1\nWebCaptureTimeout=0", " MaxRequestSize=1 WebCaptureTimeout=0 ", ""},
        {"MaxRequestSize=0\nWebCaptureTimeout=-1", " MaxRequestSize=128 WebCaptureTimeout=0 ", ""},
        {"MaxImagePixels=1\nWorkerTimeout=0", " MaxImagePixels=1 WorkerTimeout=0 ", ""},
        {"MaxImagePixels=0\nWorkerTimeout=-1", " MaxImagePixels=100000000 WorkerTimeout=0 ", ""},
        {"RequestLogging=TRUE\nUseCache=yes", " RequestLogging=1 LogErrorsOnly=0 UseCache=0 ", ""},
        {"AccessPermit=\"\"\nAgentLogging=\"true\"\nPersistMetadata=True",
         " AccessPermit= | AgentLogging=1 | PersistMetadata=1 ", ""},
        {"ImageDefaultTarget=" + cut + "X\nImageJpegTarget=jpg\nImageTifTarget=" + cut + "Y",
         " Targets=" + t + "jpg/" + t + t + t + cut + " ", ""},
        {"AvailableCommands=Thumb,Resize", " AvailableCommands=,thumb,resize ", ""},
        {"AvailableCommands=" + a2047, " AvailableCommands=," + a2047 + " ", ""},
        {"AvailableCommands=" + a2047 + "b", " AvailableCommands=," + a2047 + " ", ""}};
    for (const auto& [lines, value, problem] : cases) {
        using Vs5Platform::IniFile;
        Settings s = Settings::Read(
            IniFile::Parse("[Server]\n" + lines + "\n[ImageProcessing]\n" + lines + "\n"), nullptr);
        for (size_t at = 0, bar; at < value.size(); at = bar + 1) {
            bar = std::min(value.find('|', at), value.size());
            EXPECT_NE(Describe(s).find(value.substr(at, bar - at)), std::string::npos)
                << lines << "\n"
                << Describe(s);
        }
        std::string reported;
        for (const std::string& line : s.problems)
            reported += line;
        EXPECT_EQ(reported, problem[0] == '(' ? lines + out + problem + " is used.\r\n" : problem)
            << lines;
    }
}

TEST(IpFilter, AccessPermitFillsTheFilterOnLoadAndReload) {
    std::string full;  // 65 valid fields: the 65th is ignored
    for (int i = 1; i <= 65; ++i)
        full += "10.9.0." + std::to_string(i) + ";";
    const std::string field31 = "010.000.000.003" + std::string(16, ' ');  // padded, 31 characters
    // Short, octal and hexadecimal forms are skipped: "1" would be 0.0.0.1 and
    // admit every x.x.x.1, "0" would admit everybody. Zero octets are wildcards.
    const struct {
        std::string list;
        int count;
        std::vector<std::string> allowed, refused;
    } cases[] = {
        {"AccessPermit=", 0, {}, {"127.0.0.1"}},
        {"AccessPermit=abc;;localhost;999.1.1.1;255.255.255.255;1.2.3.256;1.2.3.4.5", 0, {}, {}},
        {"AccessPermit=1;0;127.1;010.0.0.1;0x7f.0.0.1", 0, {}, {"10.0.0.1", "8.8.8.8"}},
        {"AccessPermit=0.0.0.0", 1, {"127.0.0.1", "8.8.8.8"}, {}},
        {"AccessPermit=192.168.0.0;\"10.1.2.3\"; 127.0.0.1 ;",
         3,
         {"192.168.7.9", "10.1.2.3", "127.0.0.1"},
         {"10.1.2.4", "192.169.7.9", "127.0.0.2", "not an address"}},
        // A field of 32 characters or more ends the list; 31 do not.
        {"AccessPermit=10.0.0.1;" + std::string(32, '1') + ";127.0.0.1",
         1,
         {"10.0.0.1"},
         {"127.0.0.1"}},
        {"AccessPermit=\"" + field31 + "\";10.0.0.4", 1, {"10.0.0.4"}, {"10.0.0.3"}},
        {"AccessPermit=" + full, CIpFilter::kMaxEntries, {"10.9.0.1", "10.9.0.64"}, {"10.9.0.65"}}};
    // What the first reading skips is logged once the log is open.
    TestModuleFolder home("[Server]\nAccessPermit=bogus\n");
    for (const auto& c : cases) {
        WriteFile(home.path() + "/vistrel5.ini", "[Server]\n" + c.list + "\n");
        home.config().ReadSettings(false);
        EXPECT_EQ(home.config().ipFilter().count(), c.count) << c.list;
        for (const std::string& a : c.allowed)
            EXPECT_TRUE(home.config().ipFilter().IsAllowed(a)) << c.list << " " << a;
        for (const std::string& a : c.refused)
            EXPECT_FALSE(home.config().ipFilter().IsAllowed(a)) << c.list << " " << a;
    }
    // Every skipped entry is named in the system log.
    for (const char* entry : {"abc", "localhost", "999.1.1.1", "1", "0", "127.1", "bogus"})
        EXPECT_EQ(vstest::CountOf(home.systemLog(), std::string("AccessPermit entry \"") + entry +
                                                        "\" is not a dotted IPv4 address; it "
                                                        "is skipped.\r\n"),
                  1u)
            << entry;
}
