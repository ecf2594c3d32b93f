// One run of vistrel-img: the settings and folders it reads, the image it
// works on and the named images merges may use. Nothing is created on disk
// except the output file: the server's working folders and logs are not
// touched.
#pragma once

#include <memory>
#include <string>

#include "config/settings.h"
#include "image/base_image.h"
#include "img_options.h"
#include "photocmd/command_file_store.h"
#include "photocmd/deferred_source.h"
#include "photocmd/named_images.h"
#include "photocmd/operation_reader.h"

class ImgSession {
public:
    // Reads the INI file (an absent default one gives the default settings)
    // and fixes the folders under the home folder. False, with `error`, when
    // a file named by --ini cannot be read.
    bool Configure(const ImgOptions& options, std::string& error);

    // Loads the --image images and the input. The input is kept encoded until
    // the first command, so that a first downscale can decode it at a
    // reduced size; a copy is kept for __reload when a command uses it.
    // A result code: 0, or 200 + the load status; `what` names the file that
    // failed.
    int LoadImages(const ImgOptions& options, std::string& what);

    // Runs one photo command as an EXEC2 script line runs: a built-in
    // operation, or the command file it names. A result code.
    int RunCommand(const std::string& text);

    // Writes the image in the format of the output's extension. A result code.
    int Save(const std::string& output);

    const Vs4Image::CBaseImage& image() const { return image_; }
    const Settings& settings() const { return settings_; }

private:
    Settings settings_;
    Vs4Command::OperationFolders folders_;
    std::unique_ptr<Vs4Command::CommandFileStore> commandFiles_;
    Vs4Command::NamedImageTable namedImages_;
    Vs4Image::CBaseImage image_;
    Vs4Command::DeferredSource source_;  // the input until a command needs its pixels
};
