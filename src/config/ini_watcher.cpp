// The INI watcher thread: reloads the settings when the INI file's last-write
// time changes, and about once an hour clears old files out of the no-cache
// folder.
#include "config/configuration.h"
#include "config/file_remover.h"
#include "platform/dir_watch.h"

namespace {
// Quiet time after the last change in the folder before the INI file is read.
constexpr int kSettleMs = 200;
// A folder that never goes quiet (another program writing a file beside the
// INI file) must not hold a reload back: after this many slices it is read.
constexpr int kMaxSettleSlices = 10;
}  // namespace

void Configuration::WatchIniFile(const Vs5Platform::ManualResetEvent* stop) {
    Vs5Platform::DirectoryWatch watch(moduleFolder_);
    if (!watch.valid())
        return;
    unsigned timeouts = 0;
    for (;;) {
        int woke = Vs5Platform::WaitAny({stop->fd(), quit_.fd(), watch.fd()}, watcherTimeoutMs_);
        if (woke == 0 || woke == 1)
            return;
        if (woke == 2) {
            // Let a burst of changes settle first, so that a file that is being
            // rewritten is read once, whole, and not half empty.
            int slices = 0;
            do {
                watch.Rearm();
                woke = Vs5Platform::WaitAny({stop->fd(), quit_.fd(), watch.fd()}, kSettleMs);
            } while (woke == 2 && ++slices < kMaxSettleSlices);
            if (woke == 0 || woke == 1)
                return;
            Vs5Platform::FileTime now = Vs5Platform::LastWriteTime(iniPath_).value_or(0);
            if (now != iniTimeStamp()) {
                ReadSettings(false);
                systemLog_.WriteLine("%s\r\n", "INI file has changed and reloaded");
            }
        } else if (++timeouts % 60 == 0) {
            Vs5Util::CFileRemover().RemoveOldFiles(noCacheFolder_, "*.*", 1, false);
        }
    }
}
