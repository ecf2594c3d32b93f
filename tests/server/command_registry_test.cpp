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

std::vector<uint8_t> Frame(std::u16string verb) {
    std::vector<uint8_t> f(36, 0);
    WriteU32(f.data() + 4, 400);
    for (size_t i = 0; i < verb.size() && i < 12; ++i)
        WriteU16(f.data() + 8 + 2 * i, verb[i]);
    return f;
}

std::string Answer(const CommandRegistry& registry, std::u16string verb, uint32_t* status) {
    RequestContext context("127.0.0.1");
    ResponseBuffer out;
    std::vector<uint8_t> f = Frame(verb);
    registry.Dispatch(context, f.data(), f.size(), out);
    *status = ReadU32(out.data() + 4);
    if (out.length() <= 14)
        return "";
    std::string text;
    for (uint64_t i = 14; i + 1 < out.length() && out.data()[i] != 0; i += 2)
        text.push_back(char(out.data()[i]));
    return text;
}

}  // namespace

TEST(CommandRegistry, VerbsMatchExactlyAndCaseSensitively) {
    CommandRegistry registry;
    ASSERT_TRUE(registry.Register("GET", std::make_unique<NamedCommand>("get")));
    ASSERT_TRUE(registry.Register("EXEC2", std::make_unique<NamedCommand>("exec2")));
    EXPECT_FALSE(registry.Register("GET", std::make_unique<NamedCommand>("again")));
    EXPECT_FALSE(registry.Register("NULL", nullptr));
    EXPECT_EQ(registry.verbs(), (std::vector<std::string>{"EXEC2", "GET"}));

    uint32_t status = 0;
    EXPECT_EQ(Answer(registry, u"GET", &status), "get:36");
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(Answer(registry, u"EXEC2", &status), "exec2:36");
    for (std::u16string verb : {u"get", u"Get", u" GET", u"GETX", u"GE", u"EXEC", u""}) {
        EXPECT_EQ(Answer(registry, verb, &status), "");
        EXPECT_EQ(status, kStatusUnknownVerb);
    }
}

TEST(CommandRegistry, UnknownVerbAnswerIsTwelveBytesInline) {
    CommandRegistry registry;
    RequestContext context("127.0.0.1");
    ResponseBuffer out;
    std::vector<uint8_t> f = Frame(u"NOPE");
    registry.Dispatch(context, f.data(), f.size(), out);
    ASSERT_EQ(out.length(), 12u);
    EXPECT_TRUE(out.usesInlineStorage());
    EXPECT_EQ(std::vector<uint8_t>(out.data(), out.data() + 12),
              (std::vector<uint8_t>{0x56, 0x53, 0x34, 0, 0x64, 0, 0, 0, 0, 0, 0, 0}));
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
