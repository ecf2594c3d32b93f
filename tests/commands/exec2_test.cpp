// EXEC2 through the real server on loopback: named images built up over
// several requests on one connection, scripts, metadata, blank canvases,
// merges and requests the command cannot read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/request_builder.h"
#include "commands/command_server.h"
#include "support/temp_dir.h"
#include "support/text_count.h"

namespace CommandTest {
namespace {

using VsClient::U32s;
using VsClient::Utf16z;

struct Exec2Test : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(Shell("convert rose: " + Quoted(rose)));  // 70 x 46
        ASSERT_TRUE(Shell("head -c 1200 " + Quoted(rose) + " > " + Quoted(cut)));
        ASSERT_TRUE(started && session.connected());
    }
    vstest::TempDir dir;
    const std::string rose = dir / "rose.jpg", cut = dir / "cut.jpg";
    CommandServer server;
    const bool started = server.Start();
    Exec2Session session{server};
};

TEST_F(Exec2Test, NamedImagesLoadRunScriptsAndEncode) {
    const std::string saved = dir / "saved.png";
    const struct {
        Exec2Kind kind;
        std::vector<uint8_t> data;
        std::string textA, name, expected;
    } steps[] = {
        {Exec2Kind::kLoadBytes, FileBytes(rose), "", "pic", "size 70x46"},
        {Exec2Kind::kScript, {}, "cmd=resize&w=35", "pic", "size 35x23"},
        {Exec2Kind::kScript, {}, "cmd=encode&format=jpg", "pic", "image 35x23"},
        {Exec2Kind::kLoadFile, Utf16z(rose), "", "Pic", "size 70x46"},
        {Exec2Kind::kScript, {}, "cmd=resize&w=20\n\ncmd=encode&format=png", "Pic", "image 20x13"},
        {Exec2Kind::kScript, {}, "cmd=encode&path=" + saved, "pic", "text " + saved},
        {Exec2Kind::kScript, {}, "cmd=nosuchfile", "pic", "status 103"},
        {Exec2Kind::kRelease, {}, "", "pic", "text "},
        {Exec2Kind::kScript, {}, "cmd=resize&w=10", "pic", "status 102"},
        {Exec2Kind::kScript, {}, "cmd=resize&w=10", "Pic", "size 10x6"},
        {Exec2Kind::kLoadBytes, Bytes("not an image"), "", "junk", "status 213"},
        {Exec2Kind::kLoadFile, Utf16z(dir / "missing.jpg"), "", "junk", "status 210"},
        // A JPEG cut short is decoded at load, and fails there, not at its first step.
        {Exec2Kind::kLoadFile, Utf16z(cut), "", "junk", "status 201"},
    };
    for (const auto& s : steps)
        EXPECT_EQ(session.Ask(s.kind, s.data, s.textA, s.name), s.expected)
            << int(s.kind) << " on " << s.name << ": " << s.textA;
    Vs4Image::CBaseImage written;
    ASSERT_EQ(written.LoadFromFile(saved), Vs4Image::Ok);
    EXPECT_EQ(written.width(), 35);
    // One line per loading or script request, with its real result code.
    const std::string log = server.folder().requestLog();
    for (const std::string& line : std::vector<std::string>{
             "127.0.0.1,102,,cmd=resize&w=10,0,", "127.0.0.1,0,,cmd=resize&w=20...,0,",
             "127.0.0.1,103,,cmd=nosuchfile,0,", "127.0.0.1,213,BLOB,load,0,",
             "127.0.0.1,210," + dir / "missing.jpg" + ",load,0,"})
        EXPECT_EQ(vstest::CountOf(log, line), 1u) << line << "\n" << log;
}

// Items written with exiv2 into the photo, read back by id.
TEST_F(Exec2Test, MetadataItemsAsText) {
    ASSERT_TRUE(
        Shell("exiv2 -M'set Exif.Image.Make Ascii Zürich Optik'"
              " -M\"set Exif.Image.Model Ascii $(printf 'Caf\\351')\""
              " -M'set Exif.Image.Orientation Short 6' -M'set Exif.Image.XResolution Rational 72/1'"
              " -M'set Exif.GPSInfo.GPSLatitude Rational 51/1 30/1 1234/100'"
              " -M'set Exif.Photo.ExposureBiasValue SRational -2/3'"
              " -M'set Exif.Photo.PixelXDimension Long 4000000000'"
              " -M'set Exif.Photo.ExifVersion Undefined 48 50 51 48' " +
              Quoted(rose)));
    ASSERT_EQ(session.Ask(Exec2Kind::kLoadFile, Utf16z(rose), "", "p"), "size 70x46");
    const std::pair<uint32_t, std::string> cases[] = {
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
    for (const auto& [id, text] : cases)
        EXPECT_EQ(session.Ask(Exec2Kind::kMetadata, U32s({id}), "", "p"), "text " + text) << id;
    // Metadata requests write no log line.
    EXPECT_EQ(vstest::CountOf(server.folder().requestLog(), "127.0.0.1,"), 1u);
}

// Blank canvases take the colour of their text; merges find the
// connection's other images by exact name, and files by absolute path.
TEST_F(Exec2Test, BlankCanvasesAndMerges) {
    // AARRGGBB as written; RRGGBB (opaque) makes the canvases of the merges below.
    ASSERT_EQ(session.Blank("canvas", 12, 7, "8000ff00"), "size 12x7");
    EXPECT_EQ(session.PixelOf("canvas", 5, 3), 0x8000FF00u);
    EXPECT_EQ(vstest::CountOf(server.folder().requestLog(), ",0,Empty,create,0,"), 1u);

    const std::string blue = dir / "blue.png";
    ASSERT_TRUE(Shell("convert -size 4x4 xc:blue " + Quoted(blue)));
    ASSERT_EQ(session.Blank("ovl", 10, 10, "ff0000"), "size 10x10");
    const struct {
        std::string script, expected;
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
        ASSERT_EQ(session.Blank("base", 30, 20, "ffffff"), "size 30x20");
        EXPECT_EQ(session.Ask(Exec2Kind::kScript, {}, c.script, "base"), c.expected) << c.script;
        EXPECT_EQ(session.PixelOf("base", c.x, c.y), c.argb) << c.script;
    }
}

// Bodies the command cannot read are answered, and the connection goes on.
TEST_F(Exec2Test, UnreadableRequestsAnswer101) {
    auto frame = [](std::vector<uint8_t> body) {
        return VsClient::BuildRequestFrame("EXEC2", VsClient::kEncodingUtf16, body);
    };
    auto kind = [&](uint16_t k, std::vector<uint8_t> data) {
        std::vector<uint8_t> body = {uint8_t(k), uint8_t(k >> 8)};
        const std::vector<uint8_t> length = U32s({static_cast<uint32_t>(data.size())});
        body.insert(body.end(), length.begin(), length.end());
        body.insert(body.end(), data.begin(), data.end());
        return frame(body);
    };
    const struct {
        const char* what;
        std::vector<uint8_t> frame;
        std::string expected;
    } cases[] = {
        {"kind 0", kind(0, {}), "status 101"},
        {"kind 10", kind(10, {}), "status 101"},
        {"body shorter than kind and length", frame({4, 0, 0}), "status 101"},
        {"data length past the end", frame({3, 0, 0xF0, 0xFF, 0xFF, 0xFF, 1, 2}), "status 101"},
        {"metadata id of two bytes", kind(6, {1, 1}), "status 101"},
        {"blank without its height", kind(9, {5, 0, 0, 0, 5, 0}), "status 101"},
        // Texts without their NULs end with the frame.
        {"name without its NUL", kind(7, {1, 0, 0, 0}), "text "},
        {"clear flags", kind(8, {1, 0, 0, 0, 'A', 0, 0, 0, 'b', 0}), "text "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Describe(session.Send(c.frame)), c.expected) << c.what;
}

}  // namespace
}  // namespace CommandTest
