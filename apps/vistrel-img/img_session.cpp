#include "img_session.h"

#include <unistd.h>

#include "image/bitmap.h"
#include "image/codecs/codec.h"
#include "photocmd/apply_operation.h"
#include "photocmd/classify.h"
#include "photocmd/result_codes.h"
#include "photocmd/run_in_process.h"
#include "platform/codepage.h"
#include "platform/ini_file.h"
#include "platform/module.h"
#include "platform/text.h"

using Vs5Platform::JoinPath;

bool ImgSession::Configure(const ImgOptions& options, std::string& error) {
    std::string home = options.home.empty() ? Vs5Platform::ModuleFolder() : options.home;
    std::string iniPath =
        options.iniPath.empty() ? JoinPath(home, "vistrel5.ini") : options.iniPath;
    // The default file may be absent (defaults apply); a named one must be there.
    if (!options.iniPath.empty() && access(iniPath.c_str(), R_OK) != 0) {
        error = "cannot read " + iniPath;
        return false;
    }
    settings_ = Settings::Read(Vs5Platform::IniFile::Load(iniPath), nullptr);
    Vs5Platform::SetAnsiCodePage(settings_.ansiCodePage);
    Vs4Image::SetMaxImagePixels(settings_.maxImagePixels);

    // The server's layout under its module folder, read only.
    std::string commandFolder = JoinPath(home, "Command");
    folders_.frameFolder = JoinPath(home, "Frame");
    folders_.imageFolder = JoinPath(commandFolder, "Images");
    commandFiles_ = std::make_unique<Vs4Command::CommandFileStore>(commandFolder);
    return true;
}

int ImgSession::LoadImages(const ImgOptions& options, std::string& what) {
    for (const auto& [name, file] : options.namedImages) {
        Vs4Image::Status status = namedImages_.FindOrCreate(name).LoadFromFile(file);
        if (status != Vs4Image::Ok) {
            what = file;
            return Vs4Command::ResultFromStatus(status);
        }
    }
    // __reload goes back to the picture as loaded, which must then be the
    // whole picture: with it the input is decoded at once and a copy kept.
    bool reloads = false;
    for (const std::string& command : options.commands)
        reloads = reloads || Vs5Platform::AsciiLower(command).find("__reload") != std::string::npos;
    Vs4Image::Status status;
    if (reloads) {
        image_.flags = Vs4Image::CBaseImage::kKeepPristine;
        status = image_.LoadFromFile(options.input);
    } else {
        std::vector<uint8_t> bytes;
        status = Vs4Image::ReadWholeFile(options.input, bytes);
        if (status == Vs4Image::Ok)
            status = source_.Load(image_, std::move(bytes));
    }
    if (status != Vs4Image::Ok)
        what = options.input;
    return Vs4Command::ResultFromStatus(status);
}

int ImgSession::RunCommand(const std::string& text) {
    Vs4Command::ParamMap params = Vs4Command::ParseParams(text);
    Vs4Command::CommandClass kind = Vs4Command::ClassifyCommand(params, *commandFiles_);
    Vs4Command::InProcessContext context{namedImages_, settings_, folders_, {}};
    // A built-in command on a picture still encoded decodes it for itself
    // (reduced for a downscale); a command file needs the whole picture.
    if (!kind.isCommandFile)
        return Vs4Command::RunCommandInProcess(context, source_, image_, params);
    if (Vs4Image::Status s = source_.Realize(image_, nullptr); s != Vs4Image::Ok)
        return Vs4Command::ResultFromStatus(s);
    if (!kind.file)
        return Vs4Command::kResultCommandFileNotFound;
    return Vs4Command::RunCommandFileInProcess(context, image_, *kind.file, params);
}

int ImgSession::Save(const std::string& output) {
    if (Vs4Image::Status s = source_.Realize(image_, nullptr); s != Vs4Image::Ok)
        return Vs4Command::ResultFromStatus(s);
    return Vs4Command::ResultFromStatus(
        image_.SaveToFile(output, JpegQuality(settings_.imageJpegQuality),
                          static_cast<uint32_t>(settings_.persistMetadata)));
}
