// A daily UTF-8 log file. Each open writes a header block; each line starts
// with the local time "HH:MM:SS " and ends with CR LF. The file follows the
// date: the first line written on a new day opens that day's file.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/local_time.h"

class LogFile {
public:
    enum Mode : uint32_t { kSystemLog = 0, kRequestLog = 1 };

    // The longest formatted line in UTF-16 code units (the terminator excluded).
    static constexpr size_t kMaxLineUnits = 1023;
    // The longest line in UTF-8 bytes, CR LF included.
    static constexpr size_t kMaxLineBytes = 2047;

    explicit LogFile(Vs5Platform::LocalClock clock = Vs5Platform::LocalNow);
    ~LogFile();
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Opens today's file unless the log is already open.
    void OpenLog(const std::string& folder, const std::string& namePattern, Mode mode);
    void CloseLog();

    // printf-style; the format carries its own "\r\n".
    void WriteLine(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Writes an already formatted line (with its "\r\n").
    void WriteText(std::string_view line);

    bool IsOpen() const;
    // Path of the file that is (or would be) written for the current date.
    std::string CurrentPath() const;

private:
    bool CreateDailyFile();                 // lock_ held
    void WriteRaw(std::string_view bytes);  // lock_ held
    std::string FileNameFor(const Vs5Platform::LocalTime& date) const;

    Vs5Platform::LocalClock clock_;
    mutable std::mutex lock_;  // guards every field below
    int fd_ = -1;
    bool opened_ = false;  // OpenLog was called and CloseLog was not
    Vs5Platform::LocalTime date_;
    std::string folder_;
    std::string pattern_;
    Mode mode_ = kSystemLog;
    uint32_t lastAttemptTick_ = 0;
};
