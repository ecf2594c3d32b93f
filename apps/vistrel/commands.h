// The subcommands of the vistrel client. Each takes the whole command line
// (argv[1] is the subcommand's name) and returns the process exit status.
#pragma once

namespace VsCli {

int RunRaw(int argc, char** argv);
int RunGet(int argc, char** argv);
int RunExec(int argc, char** argv);
int RunExec2(int argc, char** argv);
int Usage();

}  // namespace VsCli
