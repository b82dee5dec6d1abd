#include "platform/linux/tesseract_recognition.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/linux/png_images.h"
#include "platform/linux/tesseract_engine.h"
#include "runtime/error.h"

namespace lumora::platform {
namespace {

std::string fixture(const std::string& name) {
    std::ifstream file(std::string(LUMORA_OCR_FIXTURES) + "/" + name, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::vector<std::string> fixtureLines() {
    std::istringstream text(fixture("lines.txt"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

Image decodedFixture(const std::string& name) {
    auto image = PngImages().decode(fixture(name));
    EXPECT_TRUE(image.has_value()) << name;
    return image.value_or(Image{});
}

std::vector<std::string> textsOf(const std::vector<TextObservation>& observations) {
    std::vector<std::string> texts;
    for (const auto& observation : observations) texts.push_back(observation.text);
    return texts;
}

// One engine for the whole suite: loading the model is the slow part.
class TesseractRecognitionTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { engine = new TesseractRecognition(); }
    static void TearDownTestSuite() {
        delete engine;
        engine = nullptr;
    }
    static TesseractRecognition* engine;
};

TesseractRecognition* TesseractRecognitionTest::engine = nullptr;

TEST_F(TesseractRecognitionTest, readsEachLineVerbatimWithBottomLeftNormalisedBoxes) {
    const Image image = decodedFixture("lines.png");
    const auto lines = engine->recognize(image, {});
    ASSERT_EQ(textsOf(lines), fixtureLines());
    // The fixture has a 20-pixel margin around the text.
    const double margin = 20.0 / image.width;
    for (const auto& line : lines) {
        EXPECT_NEAR(line.box.x, margin, 0.02) << line.text;
        EXPECT_GT(line.box.y, 0.0) << line.text;
        EXPECT_GT(line.box.width, 0.5) << line.text;
        EXPECT_LT(line.box.x + line.box.width, 1.0) << line.text;
        EXPECT_GT(line.box.height, 0.1) << line.text;
        EXPECT_LT(line.box.y + line.box.height, 1.0) << line.text;
    }
    EXPECT_NEAR(lines.front().box.y + lines.front().box.height, 1.0 - 20.0 / image.height, 0.05);
    EXPECT_NEAR(lines.back().box.y, 20.0 / image.height, 0.05);
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_LT(lines[i].box.y + lines[i].box.height, lines[i - 1].box.y) << lines[i].text;
}

TEST_F(TesseractRecognitionTest, readsLightTextOnADarkBackground) {
    EXPECT_EQ(textsOf(engine->recognize(decodedFixture("lines-dark.png"), {})), fixtureLines());
}

TEST_F(TesseractRecognitionTest, findsNothingInABlankImage) {
    const Image blank{64, 48, std::vector<std::uint8_t>(64 * 48 * 4, 255)};
    EXPECT_EQ(engine->recognize(blank, {}), std::vector<TextObservation>{});
    EXPECT_EQ(engine->recognize(Image{}, {}), std::vector<TextObservation>{});
}

TEST_F(TesseractRecognitionTest, sharesTheEngineSafelyBetweenThreads) {
    const Image image = decodedFixture("lines.png");
    std::vector<TextObservation> first;
    std::vector<TextObservation> second;
    std::thread other([&] { first = engine->recognize(image, {}); });
    second = engine->recognize(image, {});
    other.join();
    EXPECT_EQ(textsOf(first), fixtureLines());
    EXPECT_EQ(first, second);
}

TEST_F(TesseractRecognitionTest, refusesAPixelBufferThatDoesNotMatchTheSize) {
    Image image = decodedFixture("lines.png");
    image.rgba.resize(image.rgba.size() - 4);
    try {
        engine->recognize(image, {});
        FAIL() << "recognised a malformed image";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain, TesseractRecognition::errorDomain);
        EXPECT_EQ(error.code, TesseractRecognition::failedCode);
        EXPECT_EQ(error.description, TesseractRecognition::failedDescription);
    }
}

TEST(TesseractRecognitionSetupTest, reportsAMissingModelAsUnavailable) {
    TesseractRecognition recognition("/nonexistent/tessdata");
    const Image blank{8, 8, std::vector<std::uint8_t>(8 * 8 * 4, 255)};
    try {
        recognition.recognize(blank, {});
        FAIL() << "recognised without a model";
    } catch (const Error& error) {
        EXPECT_EQ(error.domain, TesseractRecognition::errorDomain);
        EXPECT_EQ(error.code, TesseractRecognition::unavailableCode);
        EXPECT_EQ(error.description, TesseractRecognition::unavailableDescription);
        EXPECT_EQ(error.extra.at("tessdata"), "/nonexistent/tessdata");
    }
}

TEST(TesseractRecognitionSetupTest, aStopRequestedBeforehandCancelsBeforeTheEngineIsTouched) {
    // Without a model any engine work would fail with an error instead.
    TesseractRecognition recognition("/nonexistent/tessdata");
    std::stop_source stop;
    stop.request_stop();
    const Image blank{8, 8, std::vector<std::uint8_t>(8 * 8 * 4, 255)};
    EXPECT_THROW(recognition.recognize(blank, stop.get_token()), Cancelled);
}

std::size_t threadsInProcess() {
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return static_cast<std::size_t>(std::distance(begin(tasks), end(tasks)));
}

// OpenMP keeps a team of worker threads per thread that opened a parallel region, for as long
// as that thread lives; a fresh thread that recognises and finds no new threads behind it has
// run the engine on its own.
TEST_F(TesseractRecognitionTest, recognisesOnTheCallingThreadAlone) {
    const Image image = decodedFixture("lines.png");
    std::size_t before = 0;
    std::size_t after = 0;
    std::vector<TextObservation> lines;
    std::thread caller([&] {
        before = threadsInProcess();
        lines = engine->recognize(image, {});
        after = threadsInProcess();
    });
    caller.join();
    EXPECT_EQ(textsOf(lines), fixtureLines());
    EXPECT_EQ(after, before);
}

// The picture turned a quarter clockwise, so that its lines run top to bottom.
Image turnedClockwise(const Image& image) {
    Image turned{image.height, image.width, std::vector<std::uint8_t>(image.rgba.size())};
    for (std::uint32_t y = 0; y < image.height; ++y)
        for (std::uint32_t x = 0; x < image.width; ++x)
            std::copy_n(&image.rgba[(std::size_t{y} * image.width + x) * 4], 4,
                        &turned.rgba[(std::size_t{x} * turned.width + image.height - 1 - y) * 4]);
    return turned;
}

struct IdentityCase {
    const char* page;
    bool turned;
    // Where a character has no ink of its own in a piece, the engine's page run makes its line
    // as tall as the picture it recognised; the team keeps the line's ink box.
    bool boxesAsWholePage;
};

const IdentityCase identityCases[] = {
    {"lines.png", false, true},      {"lines-dark.png", false, true},
    {"two-column.png", false, true}, {"window-noise.png", false, false},
    {"lines.png", true, true},
};

// Every fixture page through a team of two, one engine alone, and one engine's own whole-page
// run, which reads the page without handing out its lines.
TEST(TesseractTeamIdentityTest, readsEveryFixtureLineForLineAsOneEngineReadingTheWholePage) {
    TesseractRecognition team({}, 2);
    TesseractRecognition single({}, 1);
    TesseractEngine engine({});
    for (const auto& test : identityCases) {
        const std::string name = std::string(test.page) + (test.turned ? ", turned" : "");
        const Image image =
            test.turned ? turnedClockwise(decodedFixture(test.page)) : decodedFixture(test.page);
        const auto byTeam = team.recognize(image, {});
        const auto whole = engine.wholePage(darkTextOnLight(image), {});
        ASSERT_FALSE(whole.empty()) << name;
        EXPECT_EQ(byTeam, single.recognize(image, {})) << name;
        EXPECT_EQ(textsOf(byTeam), textsOf(whole)) << name;
        if (test.boxesAsWholePage) {
            EXPECT_EQ(byTeam, whole) << name;
        }
    }
}

}  // namespace
}  // namespace lumora::platform
