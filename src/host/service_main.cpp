#include "host/service_main.h"

#include <signal.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "host/cmd_parameters.h"
#include "host/crash_dump.h"
#include "host/nt_service.h"
#include "host/service_install.h"
#include "platform/signal_stack.h"

namespace {

// SIGINT and SIGTERM are blocked in every thread and taken by one thread with
// sigwait, which turns them into the stop event. Must run before any other
// thread starts so that the mask is inherited.
void StartSignalThread(Vs5Platform::ManualResetEvent& stop) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([set, &stop]() {
        Vs5Platform::EnsureSignalStack();
        for (;;) {
            int sig = 0;
            if (sigwait(&set, &sig) == 0)
                stop.Set();
        }
    }).detach();
}

// Console mode: prompts, and stops the process on exactly "x" and Enter. The
// end of standard input ends the prompt loop but not the server, so that a
// server started in the background keeps running until it is signalled.
void ConsoleThread(Vs5Platform::ManualResetEvent* stop) {
    Vs5Platform::EnsureSignalStack();
    char buffer[256];
    for (;;) {
        fputs("To exit this program, press x and enter key.\n", stdout);
        fflush(stdout);
        if (fgets(buffer, sizeof(buffer), stdin) == nullptr) {
            if (feof(stdin))
                return;
            clearerr(stdin);
            continue;
        }
        if (strcmp(buffer, "x\n") == 0 || strcmp(buffer, "x\r\n") == 0)
            break;
    }
    stop->Set();
}

int RunConsole() {
    Vs5Platform::ManualResetEvent& stop = ProcessStopEvent();
    StartSignalThread(stop);
    CVs5NtService service(stop);
    std::thread(ConsoleThread, &stop).detach();
    service.Start(0, nullptr);
    if (!service.failed())
        stop.Wait(-1);
    service.Stop();
    return service.failed() ? 1 : 0;
}

// Runs as a systemd service: READY after the start, STOPPING when SIGTERM
// arrives. Outside systemd there is nobody to report to, and it returns at
// once, as a service dispatcher does outside the service manager.
int RunService(int argc, char** argv) {
    if (getenv("NOTIFY_SOCKET") == nullptr)
        return 0;
    Vs5Platform::ManualResetEvent& stop = ProcessStopEvent();
    if (!stop.valid())
        return 0;
    StartSignalThread(stop);
    CVs5NtService service(stop);
    service.Start(argc, argv);
    if (service.failed()) {
        service.Stop();
        return 1;
    }
    sd_notify(0, "READY=1");
    while (!stop.Wait(1000)) {
    }
    sd_notify(0, "STOPPING=1");
    service.Stop();
    return 0;
}

}  // namespace

int VistrelMain(int argc, char** argv) {
    InstallCrashDumpWriter("vistrel5");

    CCmdParameters params;
    if (!params.Parse(std::vector<std::string>(argv + 1, argv + argc)))
        return 0;

    if (params.Has("-install")) {
        InstallService(kServiceName, kServiceDescription, params.Has("-silent"));
        return 0;
    }
    if (params.Has("-remove")) {
        RemoveService(kServiceName, params.Has("-silent"));
        return 0;
    }
    if (params.Has("-debug"))
        return RunConsole();
    return RunService(argc, argv);
}
