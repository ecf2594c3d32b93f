// EXEC2 through the real server on loopback: named images built up over
// several requests on one connection, scripts, metadata, blank canvases and
// requests the command cannot read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/request_builder.h"
#include "commands/exec2_session.h"
#include "support/pixels.h"
#include "support/temp_dir.h"
#include "support/text_count.h"

namespace CommandTest {
namespace {

using VsClient::U32s;
using VsClient::Utf16z;

struct Step {
    Exec2Kind kind;
    std::vector<uint8_t> data;
    std::string textA;
    std::string name;
    std::string expected;
};

void RunSteps(Exec2Session& session, const std::vector<Step>& steps) {
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        EXPECT_EQ(session.Ask(s.kind, s.data, s.textA, s.name), s.expected)
            << "step " << i << ": kind " << int(s.kind) << " on \"" << s.name << "\" with \""
            << s.textA << "\"";
    }
}

TEST(Exec2, NamedImagesLoadRunScriptsAndEncode) {
    vstest::TempDir dir;
    const std::string rose = dir / "rose.jpg";
    ASSERT_TRUE(Shell("convert rose: '" + rose + "'"));  // 70 x 46
    const std::string saved = dir / "saved.png";
    CommandServer server;
    ASSERT_TRUE(server.Start());
    Exec2Session session(server);
    ASSERT_TRUE(session.connected());

    RunSteps(session,
             {
                 {Exec2Kind::kLoadBytes, FileBytes(rose), "", "pic", "size 70x46"},
                 {Exec2Kind::kScript, {}, "cmd=resize&w=35", "pic", "size 35x23"},
                 {Exec2Kind::kScript, {}, "cmd=encode&format=jpg", "pic", "image 35x23"},
                 // A never used name, differing from "pic" only in case.
                 {Exec2Kind::kScript, {}, "cmd=resize&w=35", "Pic", "status 102"},
                 {Exec2Kind::kLoadFile, Utf16z(rose), "", "Pic", "size 70x46"},
                 {Exec2Kind::kScript,
                  {},
                  "cmd=resize&w=20\n\ncmd=encode&format=png",
                  "Pic",
                  "image 20x13"},
                 {Exec2Kind::kScript, {}, "cmd=encode&path=" + saved, "pic", "text " + saved},
                 {Exec2Kind::kScript, {}, "cmd=nosuchfile", "pic", "status 103"},
                 {Exec2Kind::kRelease, {}, "", "pic", "text "},
                 {Exec2Kind::kScript, {}, "cmd=resize&w=10", "pic", "status 102"},
                 {Exec2Kind::kScript, {}, "cmd=resize&w=10", "Pic", "size 10x6"},
                 {Exec2Kind::kLoadBytes, Bytes("not an image"), "", "junk", "status 213"},
                 {Exec2Kind::kLoadFile, Utf16z(dir / "missing.jpg"), "", "junk", "status 210"},
             });

    Vs4Image::CBaseImage written;
    ASSERT_EQ(written.LoadFromFile(saved), Vs4Image::Ok);
    EXPECT_EQ(written.width(), 35);
    EXPECT_EQ(written.height(), 23);

    // One line per loading or script request, with its real result code.
    const std::string log = server.folder().requestLog();
    for (const std::string& line : std::vector<std::string>{
             "127.0.0.1,0,BLOB,load,0,",
             "127.0.0.1,0,,cmd=resize&w=35,0,",
             "127.0.0.1,102,,cmd=resize&w=35,0,",
             "127.0.0.1,0," + rose + ",load,0,",
             "127.0.0.1,0,,cmd=resize&w=20...,0,",
             "127.0.0.1,103,,cmd=nosuchfile,0,",
             "127.0.0.1,213,BLOB,load,0,",
             "127.0.0.1,210," + dir / "missing.jpg" + ",load,0,",
         })
        EXPECT_EQ(vstest::CountOf(log, line), 1u) << line << "\n" << log;
}

// Items written with exiv2 into a photo made here, read back by id.
TEST(Exec2, MetadataItemsAsText) {
    vstest::TempDir dir;
    const std::string photo = dir / "photo.jpg";
    ASSERT_TRUE(Shell("convert rose: '" + photo + "'"));
    ASSERT_TRUE(
        Shell("exiv2 -M'set Exif.Image.Make Ascii Zürich Optik'"
              " -M\"set Exif.Image.Model Ascii $(printf 'Caf\\351')\""
              " -M'set Exif.Image.Orientation Short 6'"
              " -M'set Exif.Image.XResolution Rational 72/1'"
              " -M'set Exif.GPSInfo.GPSLatitude Rational 51/1 30/1 1234/100'"
              " -M'set Exif.Photo.ExposureBiasValue SRational -2/3'"
              " -M'set Exif.Photo.PixelXDimension Long 4000000000'"
              " -M'set Exif.Photo.ExifVersion Undefined 48 50 51 48'"
              " '" +
              photo + "'"));
    CommandServer server;
    ASSERT_TRUE(server.Start());
    Exec2Session session(server);
    ASSERT_TRUE(session.connected());
    ASSERT_EQ(session.Ask(Exec2Kind::kLoadFile, Utf16z(photo), "", "p"), "size 70x46");

    const struct {
        uint32_t id;
        std::string text;
    } cases[] = {
        {0x010F, "Zürich Optik"},        // ASCII holding UTF-8
        {0x0110, "Café"},                // ASCII in the ANSI code page
        {0x0112, "6"},                   // SHORT
        {0x011A, "72/1"},                // RATIONAL, one pair
        {0x0002, "51/1 30/1 1234/100"},  // RATIONAL, three pairs
        {0x9204, "-2/3"},                // SRATIONAL
        {0xA002, "4000000000"},          // LONG above the signed range
        {0x9000, ""},                    // UNDEFINED
        {0x9999, ""},                    // absent
    };
    for (const auto& c : cases)
        EXPECT_EQ(session.Ask(Exec2Kind::kMetadata, U32s({c.id}), "", "p"), "text " + c.text)
            << std::hex << c.id;
    // Metadata requests write no log line.
    EXPECT_EQ(vstest::CountOf(server.folder().requestLog(), "127.0.0.1,"), 1u);
}

TEST(Exec2, BlankCanvasInTheColourOfItsText) {
    CommandServer server;
    ASSERT_TRUE(server.Start());
    Exec2Session session(server);
    ASSERT_TRUE(session.connected());

    const struct {
        std::string colour;
        uint32_t argb;
    } cases[] = {
        {"#FF0000", 0xFFFF0000},   // RRGGBB, opaque
        {"8000ff00", 0x8000FF00},  // AARRGGBB as written
        {"abc", 0xFFFFFFFF},       // any other length: opaque white
        {"", 0xFFFFFFFF},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> data = U32s({12, 7});
        const std::vector<uint8_t> text = Utf16z(c.colour);
        data.insert(data.end(), text.begin(), text.end());
        ASSERT_EQ(session.Ask(Exec2Kind::kBlank, data, "", "canvas"), "size 12x7") << c.colour;

        VsClient::Response r = session.Send(
            VsClient::BuildExec2Frame(Exec2Kind::kScript, {}, "cmd=encode&format=png", "canvas"));
        std::vector<uint8_t> png;
        ASSERT_TRUE(VsClient::PayloadBinary(r, png)) << c.colour;
        Vs4Image::CBaseImage image;
        ASSERT_EQ(image.LoadFromMemory(png.data(), static_cast<uint32_t>(png.size())),
                  Vs4Image::Ok);
        EXPECT_EQ(vstest::PixelAt(image, 5, 3), c.argb) << c.colour;
    }
    EXPECT_EQ(vstest::CountOf(server.folder().requestLog(), ",0,Empty,create,0,"), 4u);
}

// Merges in scripts find the connection's other images by name, and files
// by absolute path.
TEST(Exec2, MergeOverlaysFromNamedImagesAndFiles) {
    vstest::TempDir dir;
    const std::string blue = dir / "blue.png";
    ASSERT_TRUE(Shell("convert -size 4x4 xc:blue '" + blue + "'"));
    CommandServer server;
    ASSERT_TRUE(server.Start());
    Exec2Session session(server);
    ASSERT_TRUE(session.connected());
    auto blank = [](uint32_t w, uint32_t h, const std::string& colour) {
        std::vector<uint8_t> data = U32s({w, h});
        const std::vector<uint8_t> text = Utf16z(colour);
        data.insert(data.end(), text.begin(), text.end());
        return data;
    };
    ASSERT_EQ(session.Ask(Exec2Kind::kBlank, blank(10, 10, "ff0000"), "", "ovl"), "size 10x10");

    const struct {
        std::string script;
        std::string expected;
        int x, y;
        uint32_t argb;
    } cases[] = {
        {"cmd=merge&imgno=ovl&x=2&y=3", "size 30x20", 11, 12, 0xFFFF0000},
        {"cmd=merge&imgno=ovl&x=2&y=3", "size 30x20", 12, 13, 0xFFFFFFFF},
        {"cmd=merge&imgno=OVL", "status 202", 0, 0, 0xFFFFFFFF},
        {"cmd=merge&file=" + blue + "&align=right&valign=bottom", "size 30x20", 26, 16, 0xFF0000FF},
        {"cmd=merge&file=" + dir / "none.png", "status 210", 0, 0, 0xFFFFFFFF},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(session.Ask(Exec2Kind::kBlank, blank(30, 20, "ffffff"), "", "base"),
                  "size 30x20");
        EXPECT_EQ(session.Ask(Exec2Kind::kScript, {}, c.script, "base"), c.expected) << c.script;
        VsClient::Response r = session.Send(
            VsClient::BuildExec2Frame(Exec2Kind::kScript, {}, "cmd=encode&format=png", "base"));
        std::vector<uint8_t> png;
        ASSERT_TRUE(VsClient::PayloadBinary(r, png));
        Vs4Image::CBaseImage image;
        ASSERT_EQ(image.LoadFromMemory(png.data(), static_cast<uint32_t>(png.size())),
                  Vs4Image::Ok);
        EXPECT_EQ(vstest::PixelAt(image, c.x, c.y), c.argb) << c.script;
    }
}

// Bodies the command cannot read are answered, and the connection goes on.
TEST(Exec2, UnreadableRequestsAnswer101) {
    CommandServer server;
    ASSERT_TRUE(server.Start());
    Exec2Session session(server);
    ASSERT_TRUE(session.connected());

    auto frame = [](std::vector<uint8_t> body) {
        return VsClient::BuildRequestFrame("EXEC2", VsClient::kEncodingUtf16, body);
    };
    auto kind = [](uint16_t k, std::vector<uint8_t> data) {
        std::vector<uint8_t> body = {uint8_t(k), uint8_t(k >> 8)};
        const std::vector<uint8_t> length = U32s({static_cast<uint32_t>(data.size())});
        body.insert(body.end(), length.begin(), length.end());
        body.insert(body.end(), data.begin(), data.end());
        return body;
    };
    const struct {
        const char* what;
        std::vector<uint8_t> frame;
        std::string expected;
    } cases[] = {
        {"kind 0", frame(kind(0, {})), "status 101"},
        {"kind 10", frame(kind(10, {})), "status 101"},
        {"kind 65535", frame(kind(0xFFFF, {1, 2, 3, 4})), "status 101"},
        {"body shorter than kind and length", frame({4, 0, 0}), "status 101"},
        {"data length past the end", frame({3, 0, 0xF0, 0xFF, 0xFF, 0xFF, 1, 2}), "status 101"},
        {"metadata id of two bytes", frame(kind(6, {1, 1})), "status 101"},
        {"set flags without a mask", frame(kind(7, {})), "status 101"},
        {"blank without its height", frame(kind(9, {5, 0, 0, 0, 5, 0})), "status 101"},
        // Texts without their NULs end with the frame.
        {"name without its NUL", frame(kind(7, {1, 0, 0, 0})), "text "},
        {"clear flags", frame(kind(8, {1, 0, 0, 0, 'A', 0, 0, 0, 'b', 0})), "text "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Describe(session.Send(c.frame)), c.expected) << c.what;
}

}  // namespace
}  // namespace CommandTest
