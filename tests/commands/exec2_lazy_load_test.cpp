// EXEC2 on a JPEG, against "whole", which keeps a pristine copy so decodes in full.
#include <gtest/gtest.h>

#include <cmath>

#include "client/request_builder.h"
#include "commands/exec2_session.h"
#include "support/temp_dir.h"

namespace CommandTest {

TEST(Exec2LazyLoad, FirstShrinkKeepsSizeAndLookAndCropSeesWholePicture) {
    vstest::TempDir dir;
    const std::string photo = dir / "photo.jpg";
    ASSERT_TRUE(Shell("convert rose: -resize 560x368! -quality 92 '" + photo + "'"));
    CommandServer server;
    ASSERT_TRUE(server.Start());
    Exec2Session session(server);
    ASSERT_EQ(session.Ask(Exec2Kind::kSetFlags, VsClient::U32s({1}), "", "whole"), "text ");
    // A JPEG cut short is decoded at load, and fails there, not at its first step.
    ASSERT_TRUE(Shell("head -c 9000 '" + photo + "' > '" + photo + ".cut'"));
    EXPECT_EQ(session.Ask(Exec2Kind::kLoadFile, VsClient::Utf16z(photo + ".cut"), "", "c"),
              "status 201");
    for (const std::string line : {"cmd=resize&w=70", "cmd=crop&x=99&y=51&w=64&h=48"}) {
        Vs4Image::CBaseImage im[2];
        for (const std::string name : {"lazy", "whole"}) {
            ASSERT_EQ(session.Ask(Exec2Kind::kLoadFile, VsClient::Utf16z(photo), "", name),
                      "size 560x368");  // from the header
            std::vector<uint8_t> png;
            ASSERT_TRUE(VsClient::PayloadBinary(
                session.Send(VsClient::BuildExec2Frame(Exec2Kind::kScript, {},
                                                       line + "\ncmd=encode&format=png", name)),
                png));
            ASSERT_EQ(im[name == "whole"].LoadFromMemory(png.data(), uint32_t(png.size())), 0);
        }
        ASSERT_EQ(im[0].width() * 1000 + im[0].height(), im[1].width() * 1000 + im[1].height());
        double squares = 0;  // over the colour channels
        for (int i = 0; i < im[0].width() * im[0].height() * 4; ++i)
            squares += i % 4 == 3 ? 0 : std::pow(im[0].view().data[i] - im[1].view().data[i], 2);
        const double limit = line.find("crop") != std::string::npos ? 0 : 6.5;  // 40 dB
        EXPECT_LE(squares / (3.0 * im[0].width() * im[0].height()), limit) << line;
    }
}

}  // namespace CommandTest
