#include "assistant/host/command_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <future>
#include <mutex>
#include <numeric>
#include <thread>
#include <utility>
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

std::string statusLines(std::size_t count) {
    std::string lines;
    for (std::size_t id = 1; id <= count; ++id) {
        lines += "{\"command\":\"status\",\"id\":" + std::to_string(id) + "}\n";
    }
    return lines;
}

// The test plays the loop, taking requests up only once the reader has handed on all the gate
// lets through, so that a reader handing on one more would be seen.
TEST(CommandGateTest, ReaderWaitsAtTheLimitAndResumesAsRequestsAreTakenUp) {
    constexpr std::size_t limit = 3;
    constexpr std::size_t total = 50;
    int fd = pipeOf(statusLines(total));
    CommandGate gate(limit);
    std::mutex mutex;
    std::condition_variable handedOn;
    std::vector<std::uint64_t> waiting;
    std::size_t mostWaiting = 0;
    std::thread reader([&] {
        readCommands(fd, gate, [&](Request request) {
            std::lock_guard lock(mutex);
            waiting.push_back(request.id);
            mostWaiting = std::max(mostWaiting, waiting.size());
            handedOn.notify_one();
        });
    });
    std::vector<std::uint64_t> taken;
    while (taken.size() < total) {
        std::unique_lock lock(mutex);
        handedOn.wait(lock,
                      [&] { return waiting.size() >= std::min(limit, total - taken.size()); });
        // Left while the lock is held, so whatever the gate counts when the reader waits is here.
        for (std::uint64_t id : std::exchange(waiting, {})) {
            taken.push_back(id);
            gate.leave();
        }
    }
    reader.join();
    ::close(fd);
    EXPECT_EQ(mostWaiting, limit);
    std::vector<std::uint64_t> all(total);
    std::iota(all.begin(), all.end(), 1);
    EXPECT_EQ(taken, all);
}

TEST(CommandGateTest, ClosingTheGateStopsAWaitingReader) {
    int fd = pipeOf(statusLines(3));
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
