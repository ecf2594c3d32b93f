// Frame templates (XML) and the file names they give.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "image/frame/frame_template.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view xml(reinterpret_cast<const char*>(data), size);
    Vs4Image::FrameTemplate frame;
    if (Vs4Image::ParseFrameTemplate(xml, frame) != Vs4Image::Ok)
        return 0;
    const std::string folder = "/srv/frames";
    for (const std::string* name : {&frame.src, &frame.horizontal.src, &frame.vertical.src}) {
        std::string path;
        if (Vs4Image::ResolveFramePath(folder, *name, path))
            VsFuzz::Check(path.compare(0, folder.size() + 1, folder + "/") == 0 &&
                              path.find("/../") == std::string::npos && !path.ends_with("/.."),
                          "frame path stays in its folder");
    }
    return 0;
}
