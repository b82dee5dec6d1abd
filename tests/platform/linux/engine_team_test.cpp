#include "platform/linux/engine_team.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "runtime/error.h"

namespace lumora::platform {
namespace {

// A page of `pieces` pixels whose values are their own indices; piece i is pixel i, so an
// engine knows which piece it was handed.
GreyImage numberedPage(int pieces) {
    GreyImage page{pieces, 1, {}};
    for (int i = 0; i < pieces; ++i) page.pixels.push_back(static_cast<unsigned char>(i));
    return page;
}

// Lines of the given numbers of pieces, numbered across the page.
PageLayout layoutOf(std::initializer_list<int> piecesPerLine) {
    PageLayout layout;
    int next = 0;
    for (const int pieces : piecesPerLine) {
        LayoutLine line{{0, 0, 1, 1}, {}};
        for (int i = 0; i < pieces; ++i, ++next) line.pieceImages.push_back({next, 0, next + 1, 1});
        layout.lines.push_back(line);
    }
    return layout;
}

// A one-shot signal the fakes wait on. The wait is bounded so that a team that never sends it
// fails the test instead of hanging it.
class Signal {
  public:
    void send() {
        const std::lock_guard lock(mutex_);
        sent_ = true;
        changed_.notify_all();
    }
    bool await() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(30), [&] { return sent_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool sent_ = false;
};

// What every fake engine of a team shares.
struct Script {
    PageLayout layout;
    std::function<void(int piece)> whileReading = [](int) {};
    std::atomic<int> started{0};
    std::atomic<int> reading{0};
};

class FakeEngine final : public PageEngine {
  public:
    explicit FakeEngine(Script& script) : script_(script) {}
    PageLayout layout(const GreyImage&) override { return script_.layout; }
    std::vector<std::string> lineWords(const GreyImage& piece, std::stop_token) override {
        const int index = piece.pixels.at(0);
        ++script_.started;
        ++script_.reading;
        script_.whileReading(index);
        --script_.reading;
        return {"w" + std::to_string(index)};
    }
    std::vector<TextObservation> wholePage(const GreyImage&, std::stop_token) override {
        return {{"read whole", {}}};
    }

  private:
    Script& script_;
};

EngineTeam::EngineFactory fakes(Script& script) {
    return [&script] { return std::make_unique<FakeEngine>(script); };
}

std::vector<std::string> textsOf(const std::vector<TextObservation>& lines) {
    std::vector<std::string> texts;
    for (const auto& line : lines) texts.push_back(line.text);
    return texts;
}

TEST(EngineTeamTest, putsPiecesReadOutOfOrderBackInLayoutOrder) {
    Script script{layoutOf({2, 1, 2})};
    Signal lastRead;
    bool released = true;
    // The first piece is held until the last one is read, which only another member can do.
    script.whileReading = [&](int piece) {
        if (piece == 0) released = lastRead.await();
        if (piece == 4) lastRead.send();
    };
    EngineTeam team(2, fakes(script));
    const auto lines = team.read(numberedPage(5), {});
    EXPECT_TRUE(released);
    EXPECT_EQ(textsOf(lines), (std::vector<std::string>{"w0 w1", "w2", "w3 w4"}));
    EXPECT_EQ(script.started, 5);
}

TEST(EngineTeamTest, aPageDoesNotWaitForAnEngineThatIsStillStarting) {
    Script script{layoutOf({1, 1})};
    Signal startMayEnd;
    std::atomic<int> starts{0};
    EngineTeam team(2, [&]() -> std::unique_ptr<PageEngine> {
        if (starts++ == 1) startMayEnd.await();
        return std::make_unique<FakeEngine>(script);
    });
    EXPECT_EQ(textsOf(team.read(numberedPage(2), {})), (std::vector<std::string>{"w0", "w1"}));
    startMayEnd.send();
    // Once started, the late engine takes its share: the first piece waits for the second.
    Signal secondRead;
    bool released = true;
    script.whileReading = [&](int piece) {
        if (piece == 0) released = secondRead.await();
        if (piece == 1) secondRead.send();
    };
    EXPECT_EQ(textsOf(team.read(numberedPage(2), {})), (std::vector<std::string>{"w0", "w1"}));
    EXPECT_TRUE(released);
}

TEST(EngineTeamTest, aStopLeavesTheRemainingPiecesUnreadAndNoMemberStillReading) {
    Script script{layoutOf({5, 5, 5, 5})};
    std::stop_source stop;
    script.whileReading = [&](int piece) {
        if (piece == 5) stop.request_stop();
    };
    EngineTeam team(2, fakes(script));
    EXPECT_THROW(team.read(numberedPage(20), stop.get_token()), Cancelled);
    EXPECT_EQ(script.reading, 0);
    // Pieces 0 to 5, and at most the one the other member had taken before the stop.
    EXPECT_LE(script.started, 7);
}

// Started with the page or ahead of it, a start that fails is the page's error, not a hang.
class EngineTeamFailedStartTest : public testing::TestWithParam<bool> {};

TEST_P(EngineTeamFailedStartTest, failsThePageWithTheStartsError) {
    Signal tried;
    EngineTeam team(2, [&]() -> std::unique_ptr<PageEngine> {
        tried.send();
        throw Error("Lumora.ScreenText", 5, "not here");
    });
    if (GetParam()) {
        team.startAhead();
        ASSERT_TRUE(tried.await());
    }
    try {
        team.read(numberedPage(1), {});
        FAIL() << "read without an engine";
    } catch (const Error& error) {
        EXPECT_EQ(error.code, 5);
        EXPECT_EQ(error.description, "not here");
    }
}

INSTANTIATE_TEST_SUITE_P(WithAndAheadOfThePage, EngineTeamFailedStartTest, testing::Bool());

TEST(EngineTeamTest, aPageOfVerticalTextIsReadWholeByTheEngineThatLaidItOut) {
    Script script{layoutOf({2})};
    script.layout.horizontal = false;
    EngineTeam team(2, fakes(script));
    EXPECT_EQ(textsOf(team.read(numberedPage(2), {})), (std::vector<std::string>{"read whole"}));
    EXPECT_EQ(script.started, 0);
}

}  // namespace
}  // namespace lumora::platform
