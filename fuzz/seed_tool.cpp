// Writes seeds for the worker targets: for each photo command below, the
// operation's pipe message (pipe_protocol) and a whole request stream that
// loads a picture, runs the operation and encodes the result
// (worker_session). Usage: fuzz_seed_tool PICTURE PROTOCOL_DIR SESSION_DIR
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "config/settings.h"
#include "photocmd/operation_reader.h"
#include "worker/pipe_protocol.h"

namespace {

using namespace Vs5Worker;

const char* const kCommands[] = {
    "cmd=resize&width=40&height=30",
    "cmd=thumbnail&width=20&height=20",
    "cmd=crop&x=2&y=3&width=10&height=10",
    "cmd=autocrop",
    "cmd=rotate&angle=33&bgcolor=80ff0000",
    "cmd=rotate&angle=90",
    "cmd=flip&horizontal=true&vertical=true",
    "cmd=text&text=Ab&size=9&color=ff0000ff",
    "cmd=adjust&brightness=20&contrast=-10&saturation=5",
    "cmd=adjustrgb&r=10&g=-5&b=3",
    "cmd=autolevel",
    "cmd=negative",
    "cmd=sepia",
    "cmd=gray",
    "cmd=blur&radius=2",
    "cmd=smooth",
    "cmd=sharpen",
    "cmd=jitter",
    "cmd=noise",
    "cmd=oilpaint",
    "cmd=layernew&name=a&width=20&height=20&color=80ffffff",
    "cmd=layercopy&name=b",
    "cmd=layerblend&name=a&mode=multiply",
    "cmd=frame&name=f",
    "cmd=merge&file=m.png",
};

void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: fuzz_seed_tool PICTURE PROTOCOL_DIR SESSION_DIR\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::vector<uint8_t> picture{std::istreambuf_iterator<char>(file), {}};
    const Settings settings;
    const Vs4Command::OperationFolders folders{"/srv/frames", "/srv/images"};
    int n = 0;
    for (const char* command : kCommands) {
        Vs4Command::OperationReading reading =
            Vs4Command::ReadOperation(Vs4Command::ParseParams(command), 70, 46, settings, folders,
                                      Vs4Command::Runner::WorkerFile);
        if (reading.result != 0) {
            std::fprintf(stderr, "seed command not read: %s\n", command);
            return 1;
        }
        std::vector<uint8_t> session = EncodeHeader(kLoadBytes, "");
        const uint32_t count = uint32_t(picture.size());
        Append(session,
               {uint8_t(count), uint8_t(count >> 8), uint8_t(count >> 16), uint8_t(count >> 24)});
        Append(session, picture);
        for (const Message& m : EncodeOperation(reading.op)) {
            std::vector<uint8_t> message = EncodeHeader(m.opcode, "a");
            Append(message, m.body);
            Write(std::string(argv[2]) + "/op" + std::to_string(n) + "_" + std::to_string(m.opcode),
                  message);
            Append(session, message);
        }
        Append(session, EncodeHeader(kEncode, ""));
        Append(session, EncodeEncode({"png", 90, true}));
        Append(session, EncodeHeader(kStop, ""));
        Write(std::string(argv[3]) + "/session" + std::to_string(n), session);
        ++n;
    }
    Write(std::string(argv[2]) + "/load", [] {
        std::vector<uint8_t> m = EncodeHeader(kLoadFile, "");
        Append(m, EncodeLoadFile({"/srv/images/a.jpg", "user", "secret"}));
        return m;
    }());
    Write(std::string(argv[2]) + "/save", [] {
        std::vector<uint8_t> m = EncodeHeader(kSaveFile, "");
        Append(m, EncodeSaveFile({"/srv/cache/0/a.jpg", 75, true, "", ""}));
        return m;
    }());
    return 0;
}
