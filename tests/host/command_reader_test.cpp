#include "assistant/host/command_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "assistant/host/event_output.h"

namespace lumora {
namespace {

// Runs the reader over `input` through a real pipe and collects what it delivers and what it
// writes itself.
class CommandReaderTest : public testing::Test {
  protected:
    void SetUp() override {
        setEventDestination([this](std::string_view line) { written.emplace_back(line); });
    }
    void TearDown() override { resetEventDestination(); }

    void read(const std::string& input) {
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        std::thread writer([&] {
            std::size_t done = 0;
            while (done < input.size()) {
                ssize_t n = ::write(fds[1], input.data() + done, input.size() - done);
                ASSERT_GT(n, 0);
                done += static_cast<std::size_t>(n);
            }
            ::close(fds[1]);
        });
        CommandGate gate(pendingCommandLimit);
        readCommands(fds[0], gate, [&](Request request) {
            delivered.push_back(std::move(request));
            gate.leave();
        });
        writer.join();
        ::close(fds[0]);
    }

    std::vector<Request> delivered;
    std::vector<std::string> written;
};

constexpr const char* invalidLine =
    "{\"id\":0,\"message\":\"Invalid native request.\",\"phase\":\"error\"}\n";

TEST_F(CommandReaderTest, InvalidLinesAreAnsweredAndReadingContinuesInOrder) {
    read(
        "\n[1]\n{\"command\":\"status\"}\n{\"command\":\"status\",\"id\":1}\nnot json\n"
        "{\"command\":\"cancel\",\"id\":2}");
    EXPECT_EQ(written, (std::vector<std::string>(4, invalidLine)));
    ASSERT_EQ(delivered.size(), 2u);
    EXPECT_EQ(delivered[0].command, "status");
    EXPECT_EQ(delivered[1].command, "cancel");
    EXPECT_EQ(delivered[1].id, 2u);
}

// A command of exactly `bytes` bytes whose text field pads it out.
std::string commandOfSize(std::size_t bytes) {
    std::string head = R"({"command":"ask","id":5,"text":")";
    std::string tail = R"("})";
    return head + std::string(bytes - head.size() - tail.size(), 'a') + tail;
}

TEST_F(CommandReaderTest, LinesUpTo99999BytesAreDecodedLongerOnesRefused) {
    read(commandOfSize(99'999) + "\n" + commandOfSize(100'000) + "\n" + commandOfSize(99'999) +
         "\r\n");
    ASSERT_EQ(delivered.size(), 2u);
    EXPECT_EQ(delivered[0].text->size(), 99'999u - 34u);
    EXPECT_EQ(written, (std::vector<std::string>{invalidLine}));
}

TEST_F(CommandReaderTest, IllFormedUtf8BecomesReplacementCharacters) {
    read(
        "{\"command\":\"ask\",\"id\":1,\"text\":\"a\xff"
        "b\xe2\x82\"}\n");
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(*delivered[0].text,
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
    EXPECT_TRUE(written.empty());
}

TEST_F(CommandReaderTest, ReplacementThatPushesALinePastTheLimitRefusesIt) {
    // 99,998 bytes with one stray byte grow to 100,000 once the stray byte is replaced.
    std::string line = commandOfSize(99'998);
    line[40] = '\xff';
    read(line + "\n");
    EXPECT_TRUE(delivered.empty());
    EXPECT_EQ(written, (std::vector<std::string>{invalidLine}));
}

// A pipe holding `input` whose writing end is already closed; `input` must fit in the pipe.
int pipeOf(const std::string& input) {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    EXPECT_EQ(::write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    ::close(fds[1]);
    return fds[0];
}

// The gate's limit, that no command is lost and that the app is answered in order are the
// end-to-end test of unread output; here, only what it cannot see: shutting a waiting reader.
TEST(CommandGateTest, ClosingTheGateStopsAWaitingReader) {
    int fd = pipeOf("{\"command\":\"status\",\"id\":1}\n{\"command\":\"status\",\"id\":2}\n");
    CommandGate gate(1);
    std::vector<std::uint64_t> delivered;
    std::promise<void> first;
    std::thread reader([&] {
        readCommands(fd, gate, [&](Request request) {
            delivered.push_back(request.id);
            if (delivered.size() == 1) first.set_value();
        });
    });
    first.get_future().wait();
    gate.close();
    reader.join();
    ::close(fd);
    EXPECT_EQ(delivered, std::vector<std::uint64_t>{1});
}

}  // namespace
}  // namespace lumora
