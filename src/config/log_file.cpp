#include "config/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "platform/event.h"
#include "platform/text.h"

namespace {

// A failed create is tried again at the next write, but not more than once
// in this many milliseconds.
constexpr uint32_t kRetryIntervalMs = 1000;

std::string TimePrefix(const Vs5Platform::LocalTime& t) {
    char buffer[16];
    snprintf(buffer, sizeof(buffer), "%02d:%02d:%02d ", t.hour, t.minute, t.second);
    return buffer;
}

}  // namespace

LogFile::LogFile(Vs5Platform::LocalClock clock) : clock_(std::move(clock)) {}

LogFile::~LogFile() {
    CloseLog();
}

void LogFile::OpenLog(const std::string& folder, const std::string& namePattern, Mode mode) {
    std::lock_guard<std::mutex> guard(lock_);
    mode_ = mode;
    if (fd_ >= 0)
        return;
    date_ = clock_();
    folder_ = folder;
    if (folder_.empty() || folder_.back() != '/')
        folder_ += '/';
    pattern_ = namePattern;
    opened_ = true;
    CreateDailyFile();
}

void LogFile::CloseLog() {
    std::lock_guard<std::mutex> guard(lock_);
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    opened_ = false;
}

bool LogFile::IsOpen() const {
    std::lock_guard<std::mutex> guard(lock_);
    return fd_ >= 0;
}

std::string LogFile::FileNameFor(const Vs5Platform::LocalTime& date) const {
    char name[128];
    snprintf(name, sizeof(name), pattern_.c_str(), date.year, date.month, date.day);
    return folder_ + name;
}

std::string LogFile::CurrentPath() const {
    std::lock_guard<std::mutex> guard(lock_);
    return FileNameFor(date_);
}

bool LogFile::CreateDailyFile() {
    lastAttemptTick_ = Vs5Platform::TickCount();
    fd_ = open(FileNameFor(date_).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0)
        return false;
    struct stat st {};
    if (fstat(fd_, &st) == 0 && st.st_size == 0)
        WriteRaw("\xEF\xBB\xBF");

    Vs5Platform::LocalTime now = clock_();
    char dateLine[64];
    snprintf(dateLine, sizeof(dateLine), "# Date: %04d-%02d-%02d %02d:%02d:%02d\r\n", date_.year,
             date_.month, date_.day, date_.hour, date_.minute, date_.second);
    const char* columns =
        mode_ == kRequestLog
            ? "# ClientIP,ReturnCode,SrcImageFile,PhotoCommand,CacheHit,ElapsedTime,"
              "AdditionalMessage\r\n"
            : "# System status logging\r\n";
    std::string prefix = TimePrefix(now);
    std::string header = prefix + "# Software: Zelkor Vistrel 5 Service\r\n" + prefix +
                         "# Version: 1.0\r\n" + prefix + dateLine + prefix + columns;
    WriteRaw(header);
    return true;
}

void LogFile::WriteRaw(std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = write(fd_, bytes.data(), bytes.size());
        if (n <= 0)
            return;  // write errors are ignored: the log must never stop the server
        bytes.remove_prefix(static_cast<size_t>(n));
    }
}

void LogFile::WriteLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int size = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string line;
    if (size > 0) {
        std::vector<char> buffer(static_cast<size_t>(size) + 1);
        vsnprintf(buffer.data(), buffer.size(), format, args);
        line.assign(buffer.data(), static_cast<size_t>(size));
    }
    va_end(args);
    WriteText(line);
}

void LogFile::WriteText(std::string_view line) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!opened_)
        return;

    if (Vs5Platform::Utf16Length(line) > kMaxLineUnits) {
        if (fd_ >= 0)
            WriteRaw("Invalid log data\r\n");
        return;
    }

    Vs5Platform::LocalTime now = clock_();
    bool newDay = !now.SameDate(date_);
    if (newDay) {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
        date_ = now;
    }
    if (fd_ < 0) {
        // The file could not be created before, or the day changed. A failure
        // is retried at most once a second, so that a passing problem (a full
        // disk, a folder being replaced) does not silence the log for good.
        if (!newDay && Vs5Platform::TickCount() - lastAttemptTick_ < kRetryIntervalMs)
            return;
        date_ = now;
        if (!CreateDailyFile())
            return;
    }

    std::string text(line);
    if (text.size() > kMaxLineBytes) {
        // Keep the line end so that the next line starts on a line of its own.
        bool crlf = text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
        text = Vs5Platform::TruncateUtf8Bytes(text, kMaxLineBytes - (crlf ? 2 : 0));
        if (crlf)
            text += "\r\n";
    }
    WriteRaw(TimePrefix(now) + text);
}
