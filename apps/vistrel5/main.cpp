// vistrel5: the image-processing server.
//   vistrel5 -install [-silent]   install as a systemd service
//   vistrel5 -remove [-silent]    stop and remove the service
//   vistrel5 -debug               run in the console until "x" and Enter
//   vistrel5                      run under systemd
#include <cstdio>
#include <exception>

#include "host/service_main.h"

int main(int argc, char** argv) {
    try {
        return VistrelMain(argc, argv);
    } catch (const std::exception& e) {
        fprintf(stderr, "vistrel5: %s\n", e.what());
        return 1;
    }
}
