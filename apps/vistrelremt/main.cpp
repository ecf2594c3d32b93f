// vistrelremt: the worker process of the Vistrel 5 server. Each I/O thread of
// the server starts one, in its TempFiles folder, as
//   vistrelremt vs5pipe_<tid> [--max-pixels N]
// It listens on the UNIX socket of that name (mode 0600), accepts exactly one
// connection, removes the socket path so nobody else can reach it, and then
// does the image work the server asks for until it is told to stop or the
// server goes away.
#include <malloc.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "image/bitmap.h"
#include "image/graphics.h"
#include "worker/worker_session.h"

// Fontconfig keeps its configuration and matched fonts for the life of the
// process; a leak-checking build would report those caches at exit and fail.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
extern "C" const char* __lsan_default_options() {
    return "print_suppressions=0";
}

namespace {

int Listen(const std::string& name) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.empty() || name.size() >= sizeof(address.sun_path))
        return -1;
    memcpy(address.sun_path, name.c_str(), name.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    unlink(name.c_str());
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(fd, 1) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fputs("usage: vistrelremt vs5pipe_<tid> [--max-pixels N]\n", stderr);
        return 2;
    }
    for (int i = 2; i + 1 < argc; i += 2)
        if (strcmp(argv[i], "--max-pixels") == 0)
            Vs4Image::SetMaxImagePixels(strtoll(argv[i + 1], nullptr, 10));

    // Buffers of 32 MB and more (the pixels of large photos) come from their
    // own mappings and go back to the system when freed, so a worker that has
    // decoded one huge photo does not keep its size for the rest of its life.
    // A fixed threshold also stops glibc from raising it after such a buffer
    // is freed, and with it the trim threshold: that one is set too, or every
    // freed message buffer would be handed back and faulted in again for the
    // next message (ten times slower transfers).
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);

    // The socket is created with mode 0600: only the server's account may connect.
    umask(077);
    const std::string name = argv[1];
    int listener = Listen(name);
    if (listener < 0) {
        perror("vistrelremt: listen");
        return 1;
    }
    int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    close(listener);
    unlink(name.c_str());
    if (fd < 0) {
        perror("vistrelremt: accept");
        return 1;
    }
    try {
        Vs4Image::GraphicsStartup();
        int code = Vs5Worker::WorkerSession().Serve(fd);
        close(fd);
        Vs4Image::GraphicsShutdown();
        return code;
    } catch (const std::exception& e) {
        fprintf(stderr, "vistrelremt: %s\n", e.what());
        return 1;
    }
}
