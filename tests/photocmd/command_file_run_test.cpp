#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "photocmd/command_file_run.h"
#include "photocmd/operation_reader.h"
#include "photocmd/param_readers.h"

using namespace Vs4Command;

namespace {

// Runs a command file the way the worker runner reads it, recording each
// line's operation instead of sending it.
struct RecordingRun {
    Settings settings;
    OperationFolders folders{"/f", "/i"};
    std::vector<Operation> ops;
    std::vector<std::string> layers;

    int Run(const std::string& content, const std::string& request) {
        CommandFile file;
        ParseCommandFileContent(content, file);
        return RunCommandFileLines(file, ParseParams(request), [&](const ParamMap& line) {
            OperationReading r =
                ReadOperation(line, 1000, 500, settings, folders, Runner::WorkerFile);
            if (r.result == kResultOk) {
                ops.push_back(r.op);
                layers.push_back(GetLowerString(line, "layer"));
            }
            return r.result;
        });
    }
};

}  // namespace

TEST(CommandFileRun, LinesRunInOrderUntilOneFails) {
    RecordingRun run;
    EXPECT_EQ(run.Run("; poster\ncmd=resize&w=<%w%>\ncmd=text&text=<%title%>&layer=<%L%>\n"
                      "cmd=sharpen&weight=2\n",
                      "cmd=poster&title=Hello&w=400&l=Top"),
              kResultOk);
    ASSERT_EQ(run.ops.size(), 3u);
    EXPECT_EQ(std::get<ResizeOp>(run.ops[0]).width, 400);
    EXPECT_EQ(std::get<TextOp>(run.ops[1]).text, "Hello");
    EXPECT_EQ(run.layers[1], "top");
    EXPECT_EQ(std::get<SharpenOp>(run.ops[2]).weight, 2);

    // Without w the filled w is empty and reads as 0.
    RecordingRun noWidth;
    EXPECT_EQ(noWidth.Run("cmd=resize&w=<%w%>\n", "cmd=poster"), kResultOk);
    EXPECT_EQ(std::get<ResizeOp>(noWidth.ops[0]).width, 0);

    // A file of comments only has no command: 101.
    RecordingRun comments;
    EXPECT_EQ(comments.Run("; nothing\n;here\n", ""), kResultUnknownOperation);
    // A line of blanks has no cmd: the first line runs, then 101.
    RecordingRun blank;
    EXPECT_EQ(blank.Run("cmd=gray\n   \ncmd=sepia\n", ""), kResultUnknownOperation);
    EXPECT_EQ(blank.ops.size(), 1u);
    // A failing line stops the run with its code.
    RecordingRun frame;
    EXPECT_EQ(frame.Run("cmd=gray\ncmd=frame\ncmd=sepia\n", ""), 210);
    EXPECT_EQ(frame.ops.size(), 1u);
    // Layer operations are known in command files, the reload is not.
    RecordingRun layers;
    EXPECT_EQ(layers.Run("cmd=layernew&name=a\ncmd=__reload\n", ""), kResultUnknownOperation);
    EXPECT_EQ(layers.ops.size(), 1u);
}
