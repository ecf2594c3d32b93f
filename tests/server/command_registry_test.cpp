#include "server/command_registry.h"

#include <gtest/gtest.h>

#include <vector>

#include "server/frame.h"
#include "server/response_builders.h"

using namespace Vs5Server;

namespace {

// Answers with the verb it was registered under and the frame length.
class NamedCommand : public Vs4Command::CVs4Command {
public:
    explicit NamedCommand(std::string name) : name_(std::move(name)) {}
    void Execute(RequestContext&, const uint8_t*, size_t length, ResponseBuffer& out) override {
        BuildTypedTextResponse(out, name_ + ":" + std::to_string(length));
    }

private:
    std::string name_;
};

// Dispatches an empty frame with `verb` and returns the whole answer.
std::vector<uint8_t> Answer(const CommandRegistry& registry, std::u16string verb,
                            bool* inlineStorage = nullptr) {
    std::vector<uint8_t> f(36, 0);
    WriteU32(f.data() + 4, 400);
    for (size_t i = 0; i < verb.size() && i < 12; ++i)
        WriteU16(f.data() + 8 + 2 * i, verb[i]);
    RequestContext context("127.0.0.1");
    ResponseBuffer out;
    registry.Dispatch(context, f.data(), f.size(), out);
    if (inlineStorage)
        *inlineStorage = out.usesInlineStorage();
    return std::vector<uint8_t>(out.data(), out.data() + out.length());
}

std::vector<uint8_t> TypedText(const std::string& text) {
    ResponseBuffer b;
    BuildTypedTextResponse(b, text);
    return std::vector<uint8_t>(b.data(), b.data() + b.length());
}

}  // namespace

TEST(CommandRegistry, VerbsMatchExactlyAndCaseSensitively) {
    CommandRegistry registry;
    ASSERT_TRUE(registry.Register("GET", std::make_unique<NamedCommand>("get")));
    ASSERT_TRUE(registry.Register("EXEC2", std::make_unique<NamedCommand>("exec2")));
    EXPECT_FALSE(registry.Register("GET", std::make_unique<NamedCommand>("again")));
    EXPECT_FALSE(registry.Register("NULL", nullptr));
    EXPECT_EQ(registry.verbs(), (std::vector<std::string>{"EXEC2", "GET"}));

    EXPECT_EQ(Answer(registry, u"GET"), TypedText("get:36"));
    EXPECT_EQ(Answer(registry, u"EXEC2"), TypedText("exec2:36"));
    // Anything else is the twelve-byte "unknown verb" answer, kept inline.
    const std::vector<uint8_t> unknown = {0x56, 0x53, 0x34, 0, 0x64, 0, 0, 0, 0, 0, 0, 0};
    for (std::u16string verb : {u"get", u"Get", u" GET", u"GETX", u"GE", u"EXEC", u"NOPE", u""}) {
        bool inlineStorage = false;
        EXPECT_EQ(Answer(registry, verb, &inlineStorage), unknown);
        EXPECT_TRUE(inlineStorage);
    }
}

TEST(CommandRegistry, ProcessWideInstanceIsFilledByTheRegistrar) {
    CommandRegistry::SetRegistrar(
        [](CommandRegistry& r) { r.Register("PING", std::make_unique<NamedCommand>("ping")); });
    EXPECT_EQ(CommandRegistry::Instance().verbs(), (std::vector<std::string>{"PING"}));
    CommandRegistry::DestroyInstance();
    CommandRegistry::SetRegistrar(nullptr);
    EXPECT_TRUE(CommandRegistry::Instance().verbs().empty());
    CommandRegistry::DestroyInstance();
}
