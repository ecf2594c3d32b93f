// Whole-file reads and writes for the codecs.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "image/codecs/codec.h"

namespace Vs4Image {

Status ReadWholeFile(const std::string& path, std::vector<uint8_t>& out) {
    out.clear();
    // Opened without blocking: opening a FIFO for reading would otherwise
    // wait for a writer, and a device may wait for anything. Whatever is not
    // a regular file (after following links) is then refused like a missing
    // file before a byte is read.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return (errno == ENOENT || errno == ENOTDIR || errno == ENXIO) ? FileNotFound : Win32Error;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool failed = !S_ISREG(st.st_mode) && st.st_mode == 0;
        close(fd);
        return failed ? Win32Error : FileNotFound;
    }
    // Images are loaded from at most 4 GiB (lengths are 32-bit); a larger
    // file is refused before anything is allocated for it.
    if (static_cast<uint64_t>(st.st_size) > UINT32_MAX) {
        close(fd);
        return OutOfMemory;
    }
    try {
        out.resize(static_cast<size_t>(st.st_size));
    } catch (const std::bad_alloc&) {
        close(fd);
        return OutOfMemory;
    }
    size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = read(fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    close(fd);
    out.resize(done);  // a file that shrank while being read is decoded as it was read
    return Ok;
}

Status WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return Win32Error;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            close(fd);
            unlink(path.c_str());
            return Win32Error;
        }
        done += static_cast<size_t>(n);
    }
    if (close(fd) != 0) {
        unlink(path.c_str());
        return Win32Error;
    }
    return Ok;
}

}  // namespace Vs4Image
