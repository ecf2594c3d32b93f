// The process entry's work: parse the command line and install, remove, run
// in console mode or run as a systemd service.
#pragma once

// Returns the process exit code (always 0, like the Windows entry point).
int VistrelMain(int argc, char** argv);
