#include "soak/soak_images.h"

#include <cstdlib>
#include <filesystem>
#include <random>

#include "support/temp_dir.h"

namespace Soak {

namespace {

namespace fs = std::filesystem;

bool Convert(const std::string& arguments) {
    return std::system(("convert " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::string text = vstest::ReadFile(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

void AddFile(const std::string& path, const std::vector<uint8_t>& bytes, bool mustFail,
             std::vector<SoakImage>& out) {
    vstest::WriteFile(path, std::string(bytes.begin(), bytes.end()));
    out.push_back({fs::path(path).filename().string(), path, bytes, mustFail});
}

uint32_t Crc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

void PngChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
    PutBigEndian(png, static_cast<uint32_t>(data.size()));
    const size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    PutBigEndian(png, Crc32(png.data() + start, png.size() - start));
}

// A well-formed PNG whose header announces side x side pixels and whose
// image data is a few bytes: it must be refused before memory is taken.
std::vector<uint8_t> HugePng(uint32_t side) {
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<uint8_t> header;
    PutBigEndian(header, side);
    PutBigEndian(header, side);
    header.insert(header.end(), {8, 6, 0, 0, 0});
    PngChunk(png, "IHDR", header);
    PngChunk(png, "IDAT", {0x78, 0x9C, 0x63, 0x60, 0x00, 0x00, 0x00, 0x02, 0x00, 0x01});
    PngChunk(png, "IEND", {});
    return png;
}

// A copy of a JPEG whose frame header announces 60000 x 60000 pixels.
std::vector<uint8_t> HugeJpeg(std::vector<uint8_t> jpeg) {
    for (size_t i = 2; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = 0xEA, jpeg[i + 6] = 0x60, jpeg[i + 7] = 0xEA, jpeg[i + 8] = 0x60;
            break;
        }
    }
    return jpeg;
}

// A BMP header for 60000 x 60000 at 24 bits, followed by a few pixels.
std::vector<uint8_t> HugeBmp() {
    std::vector<uint8_t> bmp(54 + 64, 0);
    auto put = [&](size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k)
            bmp[at + k] = static_cast<uint8_t>(v >> (8 * k));
    };
    bmp[0] = 'B', bmp[1] = 'M';
    put(2, static_cast<uint32_t>(bmp.size()));
    put(10, 54);
    put(14, 40);
    put(18, 60000);
    put(22, 60000);
    bmp[26] = 1, bmp[28] = 24;
    return bmp;
}

std::vector<uint8_t> Cut(const std::vector<uint8_t>& bytes, size_t size) {
    return std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::min(size, bytes.size()));
}

void MakeHostile(const std::string& folder, const ImageSet& set, ImageSet& out) {
    std::mt19937 random(14);
    std::vector<uint8_t> noise(4096);
    for (uint8_t& b : noise)
        b = static_cast<uint8_t>(random());
    auto& h = out.hostile;
    for (const SoakImage& photo : set.photos) {
        const std::string stem = folder + "/" + fs::path(photo.path).stem().string();
        const std::string ext = fs::path(photo.path).extension().string();
        const std::vector<uint8_t>& b = photo.bytes;
        if (ext == ".jpg" || ext == ".png") {
            AddFile(stem + "-third" + ext, Cut(b, b.size() / 3), true, h);
            AddFile(stem + "-header" + ext, Cut(b, 100), true, h);
        }
        std::vector<uint8_t> scribbled = b;
        for (size_t i = 0; i < 256 && b.size() > 64; ++i)
            scribbled[32 + random() % (b.size() - 32)] = static_cast<uint8_t>(random());
        AddFile(stem + "-scribbled" + ext, scribbled, false, h);
        AddFile(stem + "-most" + ext, Cut(b, b.size() * 9 / 10), false, h);
    }
    AddFile(folder + "/noise.jpg", noise, true, h);
    AddFile(folder + "/empty.png", {}, true, h);
    AddFile(folder + "/huge.png", HugePng(100000), true, h);
    AddFile(folder + "/wide.png", HugePng(30000), true, h);
    AddFile(folder + "/huge.jpg", HugeJpeg(set.photos[0].bytes), true, h);
    AddFile(folder + "/huge.bmp", HugeBmp(), true, h);
}

}  // namespace

bool MakeImages(const std::string& folder, ImageSet& set, std::string& error) {
    fs::create_directories(folder + "/hostile");
    // File name and ImageMagick arguments that make it.
    std::vector<std::pair<std::string, std::string>> photos = {
        {"rose-400.jpg", "rose: -resize 400x300!"},
        {"rose-1600.jpg", "rose: -resize 1600x1200!"},
        {"wizard.png", "wizard:"},
        {"wizard-800.jpg", "wizard: -resize 800x1000!"},
        {"logo.gif", "logo:"},
        {"logo-1280.png", "logo: -resize 1280x960!"},
        {"logo-900.bmp", "logo: -resize 900x675! -type TrueColor"},
    };
    const std::string gnome = "/usr/share/backgrounds/gnome/wood-d.webp";
    if (fs::exists(gnome))
        photos.push_back({"wood-1280.webp", gnome + " -resize 1280x1280"});
    for (const auto& [name, arguments] : photos) {
        const std::string path = folder + "/" + name;
        if (!Convert(arguments + " " + path)) {
            error = "convert " + arguments + " " + path + " failed";
            return false;
        }
        set.photos.push_back({name, path, ReadBytes(path), false});
    }
    MakeHostile(folder + "/hostile", set, set);
    return true;
}

}  // namespace Soak
