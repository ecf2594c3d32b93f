// The INI watcher thread: reloads the settings when the INI file's last-write
// time changes, and about once an hour clears old files out of the no-cache
// folder.
#include "config/configuration.h"
#include "config/file_remover.h"
#include "platform/dir_watch.h"

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
            Vs5Platform::FileTime now = Vs5Platform::LastWriteTime(iniPath_).value_or(0);
            watch.Rearm();
            if (now != iniTimeStamp()) {
                ReadSettings(false);
                systemLog_.WriteLine("%s\r\n", "INI file has changed and reloaded");
            }
        } else if (++timeouts % 60 == 0) {
            Vs5Util::CFileRemover().RemoveOldFiles(noCacheFolder_, "*.*", 1, false);
        }
    }
}
