#include "photocmd/command_file_store.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "config/configuration.h"
#include "photocmd/safe_name.h"
#include "platform/codepage.h"
#include "platform/text.h"

namespace Vs4Command {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Turns line pieces into commands; stops wanting pieces once the file holds
// its last command.
class CommandLineCollector {
public:
    CommandLineCollector(CommandFile& file, bool utf8) : file_(file), utf8_(utf8) {}

    // Returns false when no further piece can add a command.
    bool Add(std::string_view piece) {
        // A NUL ends the text of a line, as it ends a C string.
        size_t nul = piece.find('\0');
        if (nul != std::string_view::npos)
            piece = piece.substr(0, nul);
        std::string line = utf8_ ? std::string(piece) : Vs5Platform::AnsiToUtf8(piece);
        line = Vs5Platform::Utf16ToUtf8(Vs5Platform::Utf8ToUtf16(line));
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == ';')
            return true;
        file_.commands.push_back(ParseParams(line));
        return file_.commands.size() < CommandFile::kMaxCommands;
    }

private:
    CommandFile& file_;
    bool utf8_;
};

// Reads one piece: up to and including a line feed, at most
// kMaxCommandLineBytes bytes. Empty at the end of the file.
std::string ReadPiece(std::FILE* f) {
    std::string piece;
    int c;
    while (piece.size() < kMaxCommandLineBytes && (c = std::getc(f)) != EOF) {
        piece += static_cast<char>(c);
        if (c == '\n')
            break;
    }
    return piece;
}

// Reads the commands of an open file; false on a read error.
bool ReadCommandFile(std::FILE* f, CommandFile& file) {
    char head[3];
    size_t got = std::fread(head, 1, sizeof head, f);
    bool utf8 = got == 3 && std::string_view(head, 3) == kUtf8Bom;
    if (!utf8)
        std::rewind(f);
    CommandLineCollector collector(file, utf8);
    for (;;) {
        std::string piece = ReadPiece(f);
        if (piece.empty() || !collector.Add(piece))
            break;
    }
    return !std::ferror(f);
}

}  // namespace

void ParseCommandFileContent(std::string_view bytes, CommandFile& file) {
    bool utf8 = bytes.substr(0, 3) == kUtf8Bom;
    if (utf8)
        bytes.remove_prefix(3);
    CommandLineCollector collector(file, utf8);
    while (!bytes.empty()) {
        size_t len = std::min(bytes.size(), kMaxCommandLineBytes);
        size_t lf = bytes.substr(0, len).find('\n');
        if (lf != std::string_view::npos)
            len = lf + 1;
        if (!collector.Add(bytes.substr(0, len)))
            break;
        bytes.remove_prefix(len);
    }
}

CommandFileStore::CommandFileStore(std::string commandFolder) : folder_(std::move(commandFolder)) {}

namespace {
std::mutex gInstanceLock;  // guards gInstance
std::unique_ptr<CommandFileStore> gInstance;
}  // namespace

CommandFileStore& CommandFileStore::Instance() {
    std::lock_guard<std::mutex> guard(gInstanceLock);
    if (!gInstance)
        gInstance = std::make_unique<CommandFileStore>(Configuration::Instance().commandFolder());
    return *gInstance;
}

void CommandFileStore::DestroyInstance() {
    std::lock_guard<std::mutex> guard(gInstanceLock);
    gInstance.reset();
}

const CommandFile* CommandFileStore::Find(const std::string& name) {
    // Without a folder the path would start at the root of the file system.
    if (folder_.empty() || !IsPlainFileName(name))
        return nullptr;
    std::string path = folder_ + "/" + name + ".vscmd";

    std::lock_guard<std::mutex> guard(lock_);
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    Vs5Platform::FileTime time = Vs5Platform::FileTimeFromTimespec(st.st_mtim);
    // The size is part of the key as well: a file rewritten in place is empty
    // for a moment, usually without a new last-write time, and a request
    // reading it then must not keep that empty version for good.
    std::string key = name + ":" + std::to_string(time) + ":" + std::to_string(st.st_size);
    auto it = files_.find(key);
    if (it != files_.end())
        return it->second.get();

    auto file = std::make_unique<CommandFile>();
    // Built piece by piece: assigning a literal here trips a false -Wrestrict
    // warning of g++ 12 in optimised builds.
    file->versionTag.push_back('&');
    file->versionTag.append(std::to_string(time));
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return nullptr;
    bool ok = ReadCommandFile(f, *file);
    std::fclose(f);
    if (!ok)
        return nullptr;
    const CommandFile* result = file.get();
    files_.emplace(std::move(key), std::move(file));
    return result;
}

}  // namespace Vs4Command
