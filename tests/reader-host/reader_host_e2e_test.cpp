// The built lumora-reader-host, driven through real pipes as a browser drives it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "platform/linux/png_images.h"
#include "reader-host/bridge_file.h"
#include "reader-host/deployment.h"
#include "runtime/atomic_file.h"
#include "runtime/base64.h"
#include "tests/e2e/child_process.h"
#include "tests/platform/linux/png_test_writer.h"
#include "tests/reader-host/streams.h"
#include "tests/reader-host/test_services.h"
#include "tests/support/loopback_server.h"

namespace lumora::ReaderHost {
namespace {

using nlohmann::json;
using platform::Image;
using platform::PngImages;
using testing::framed;
using testing::lengthHeader;
using testing::TemporaryDirectory;

const std::string id = "6F9619FF-8B86-4011-B42D-00C04FC964FF";
const std::string bookId = "B00ABCDE12";

struct Exchange {
    int status;
    std::vector<json> responses;
    std::string err;
    std::string out;
};

json message(const std::string& type, const std::string& requestId = id) {
    return {{"protocolVersion", 1}, {"requestId", requestId}, {"type", type}};
}

std::string readerUrl(const std::string& host = std::string(allowedReaderHosts[0]),
                      const std::string& asin = bookId, const std::string& scheme = "https") {
    return scheme + "://" + host + "/reader?asin=" + asin + "&page=3";
}

json ocrMessage(const std::string& png, json region, json viewport,
                const std::string& requestId = id) {
    json request = message("ocr", requestId);
    request["url"] = readerUrl();
    request["bookId"] = bookId;
    request["region"] = std::move(region);
    request["viewport"] = std::move(viewport);
    request["png"] = "data:image/png;base64," + base64::encode(png);
    return request;
}

json rect(double x, double y, double width, double height) {
    return {{"x", x}, {"y", y}, {"width", width}, {"height", height}};
}

json size(double width, double height) {
    return {{"width", width}, {"height", height}};
}

std::string fixture(const std::string& name) {
    return *files::readAll(std::string(LUMORA_SOURCE_DIR) + "/tests/fixtures/ocr/" + name);
}

// Each pixel repeated `factor` times in both directions, as a high-density display shows a page.
Image upscaled(const Image& image, std::uint32_t factor) {
    Image result{image.width * factor, image.height * factor, {}};
    result.rgba.resize(std::size_t{result.width} * result.height * 4);
    for (std::uint32_t y = 0; y < result.height; ++y) {
        for (std::uint32_t x = 0; x < result.width; ++x) {
            std::memcpy(&result.rgba[(std::size_t{y} * result.width + x) * 4],
                        &image.rgba[(std::size_t{y / factor} * image.width + x / factor) * 4], 4);
        }
    }
    return result;
}

Image cropped(const Image& image, std::uint32_t x, std::uint32_t y, std::uint32_t width,
              std::uint32_t height) {
    Image result{width, height, {}};
    for (std::uint32_t row = y; row < y + height; ++row) {
        const auto start = image.rgba.begin() + (std::size_t{row} * image.width + x) * 4;
        result.rgba.insert(result.rgba.end(), start, start + std::size_t{width} * 4);
    }
    return result;
}

std::string whitePng(std::uint32_t width, std::uint32_t height) {
    return *PngImages().encodePng(
        Image{width, height, std::vector<std::uint8_t>(std::size_t{width} * height * 4, 0xff)});
}

class ReaderHostProcessTest : public ::testing::Test {
  protected:
    Exchange run(const std::string& input, std::map<std::string, std::string> environment = {},
                 std::vector<std::string> arguments = {std::string(allowedOrigin)}) {
        environment.try_emplace("HOME", home.path());
        const auto result = lumora::testing::runProcess(
            lumora::testing::builtProgram("reader-host/lumora-reader-host"), input, environment,
            arguments);
        Exchange exchange{result.exitStatus, {}, result.err, result.out};
        for (const auto& body : testing::unframed(result.out))
            exchange.responses.push_back(json::parse(body));
        return exchange;
    }
    Exchange send(const std::vector<json>& messages,
                  std::map<std::string, std::string> environment = {}) {
        std::string input;
        for (const auto& m : messages) input += framed(m.dump());
        return run(input, std::move(environment));
    }
    std::string errorOf(const json& response) { return response.value("error", "no error"); }

    TemporaryDirectory home;
};

json errorResponse(const std::string& requestId, const std::string& message) {
    return {{"ok", false}, {"protocolVersion", 1}, {"requestId", requestId}, {"error", message}};
}

TEST_F(ReaderHostProcessTest, OnlyTheReaderExtensionMayStartIt) {
    TemporaryDirectory output;
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {}, {"chrome-extension://someoneelse/", std::string(350, 'x')}}) {
        const Exchange exchange = run(framed(message("hello").dump()),
                                      {{"LUMORA_READER_OUTPUT", output.path()}}, arguments);
        EXPECT_EQ(exchange.status, 2);
        EXPECT_EQ(exchange.out, "");
        json expected = json::array();
        for (const auto& argument : arguments) expected.push_back(argument.substr(0, 300));
        EXPECT_EQ(json::parse(*files::readAll(output.path() + "/origin-rejected.json")),
                  (json{{"arguments", expected}}));
    }
}

TEST_F(ReaderHostProcessTest, EndOfInputAtOnceExitsQuietly) {
    const Exchange exchange = run("");
    EXPECT_EQ(exchange.status, 0);
    EXPECT_EQ(exchange.out, "");
    EXPECT_EQ(exchange.err, "");
}

struct BrokenInput {
    const char* name;
    std::string bytes;
    const char* diagnostic;
};

class BrokenInputTest : public ReaderHostProcessTest,
                        public ::testing::WithParamInterface<BrokenInput> {};

TEST_P(BrokenInputTest, IsFatalAfterTheEarlierAnswers) {
    const Exchange exchange = run(framed(message("hello").dump()) + GetParam().bytes);
    EXPECT_EQ(exchange.status, 1);
    EXPECT_EQ(exchange.err, GetParam().diagnostic);
    ASSERT_EQ(exchange.responses.size(), 1u);
    EXPECT_EQ(exchange.responses[0]["ok"], true);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, BrokenInputTest,
    ::testing::Values(
        BrokenInput{"TruncatedHeader", std::string("\x0a\x00", 2), "Truncated native message\n"},
        BrokenInput{"TruncatedBody", lengthHeader(10) + "{\"a\"", "Truncated native message\n"},
        BrokenInput{"ZeroLength", lengthHeader(0), "Native message exceeds limit\n"},
        // Refused from the header alone: with its body missing it would otherwise be a
        // "Missing native message".
        BrokenInput{"OneByteOverTheLimit", lengthHeader(32'000'001),
                    "Native message exceeds limit\n"},
        BrokenInput{"HeaderWithoutBody", lengthHeader(10), "Missing native message\n"}),
    [](const auto& info) { return info.param.name; });

TEST_F(ReaderHostProcessTest, AcceptsAMessageOfExactlyTheLimit) {
    std::string body = message("hello").dump();
    body.insert(1, 32'000'000 - body.size(), ' ');
    const Exchange exchange = run(framed(body));
    EXPECT_EQ(exchange.status, 0);
    ASSERT_EQ(exchange.responses.size(), 1u);
    EXPECT_EQ(exchange.responses[0]["ok"], true);
}

TEST_F(ReaderHostProcessTest, AnswersEveryMessageInOrderAndGoesOn) {
    const Exchange exchange =
        run(framed("this is not json") + framed(message("hello").dump()) +
            framed(message("hello", "x").dump()) + framed(message("hello", id).dump()));
    EXPECT_EQ(exchange.status, 0);
    ASSERT_EQ(exchange.responses.size(), 4u);
    EXPECT_EQ(exchange.responses[0]["requestId"], "");
    EXPECT_EQ(exchange.responses[0]["ok"], false);
    EXPECT_EQ(exchange.responses[1], (json{{"ok", true},
                                           {"protocolVersion", 1},
                                           {"requestId", id},
                                           {"appInstalled", false},
                                           {"capabilities", {"local-ocr", "app-relay"}},
                                           {"engine", "Apple Vision / Lumora app relay"}}));
    EXPECT_EQ(exchange.responses[2], errorResponse("x", "Invalid protocol or request ID"));
    EXPECT_EQ(exchange.responses[3], exchange.responses[1]);
}

TEST_F(ReaderHostProcessTest, HelloSeesTheInstalledApp) {
    const std::string app = home.path() + "/Applications/Lumora";
    testing::writeFile(app, "#!/bin/sh\n");
    std::filesystem::permissions(app, std::filesystem::perms::owner_all);
    testing::writeFile(home.path() + "/Library/Application Support/Lumora Reader/app-path",
                       app + "\n");
    const Exchange exchange = send({message("hello")});
    ASSERT_EQ(exchange.responses.size(), 1u);
    EXPECT_EQ(exchange.responses[0]["appInstalled"], true);
}

TEST_F(ReaderHostProcessTest, OcrNeedsThePageOfTheNamedBook) {
    const std::string host(allowedReaderHosts[0]);
    std::vector<json> messages;
    for (const auto& [url, book] : std::vector<std::pair<std::string, std::string>>{
             {readerUrl(host, bookId, "http"), bookId},
             {readerUrl("not-the-reader.invalid"), bookId},
             {readerUrl(host, "b00abcde12"), bookId},
             {readerUrl(host, "B00ABCDE1"), "B00ABCDE1"},
             {readerUrl(host, "b00abcde12"), "b00abcde12"}}) {
        json request = message("ocr");
        request["url"] = url;
        request["bookId"] = book;
        messages.push_back(request);
    }
    const Exchange exchange = send(messages);
    ASSERT_EQ(exchange.responses.size(), 5u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(exchange.responses[i], errorResponse(id, "Invalid reader identity")) << i;
    }
    // The last one passed: it fails only for want of a screenshot.
    EXPECT_EQ(exchange.responses[4], errorResponse(id, "Invalid OCR request"));
}

std::string expectedTwoColumnText() {
    std::string text = fixture("two-column.txt");
    if (!text.ends_with('\n')) text += '\n';
    return text;
}

TEST_F(ReaderHostProcessTest, ReadsAHighDensityScreenshotInReadingOrder) {
    const Image page = *PngImages().decode(fixture("two-column.png"));
    const std::string screenshot = *PngImages().encodePng(upscaled(page, 2));
    TemporaryDirectory output;
    const Exchange exchange = send({ocrMessage(screenshot, rect(0, 0, 1280, 800), size(1280, 800)),
                                    ocrMessage(screenshot, rect(100, 50, 400, 600), size(1280, 800),
                                               "00000000-0000-4000-8000-000000000002")},
                                   {{"LUMORA_READER_OUTPUT", output.path()}});
    ASSERT_EQ(exchange.responses.size(), 2u) << exchange.err;
    const json& whole = exchange.responses[0];
    EXPECT_EQ(whole["ok"], true) << whole.dump();
    const std::string expected = expectedTwoColumnText();
    EXPECT_EQ(whole["text"], expected);
    EXPECT_EQ(whole["lineCount"], std::count(expected.begin(), expected.end(), '\n'));
    EXPECT_EQ(whole["width"], 2560);
    EXPECT_EQ(whole["height"], 1600);
    EXPECT_EQ(whole["engine"], "Apple Vision fast");
    const json& part = exchange.responses[1];
    EXPECT_EQ(part["width"], 800) << part.dump();
    EXPECT_EQ(part["height"], 1200);

    for (const json& response : {whole, part}) {
        const std::string directory =
            output.path() + "/" + response["requestId"].get<std::string>();
        EXPECT_EQ(response["outputDirectory"], directory);
        EXPECT_EQ(files::readAll(directory + "/ocr.txt"), response["text"].get<std::string>());
        const auto crop = files::readAll(directory + "/book-area.png");
        ASSERT_TRUE(crop);
        const auto properties = PngImages().properties(*crop);
        ASSERT_TRUE(properties);
        EXPECT_EQ(properties->pixelWidth, response["width"].get<std::uint64_t>());
        EXPECT_EQ(properties->pixelHeight, response["height"].get<std::uint64_t>());
    }
}

// At scale 2 a region starting at 0.5 points starts at pixel 1; one starting at 0.3 points is
// widened to pixel 0, and its far edge rounded up.
TEST_F(ReaderHostProcessTest, CropsTheIntegralRectangleAroundTheRegion) {
    const Image page = upscaled(*PngImages().decode(fixture("two-column.png")), 2);
    const std::string screenshot = *PngImages().encodePng(page);
    TemporaryDirectory output;
    const Exchange exchange = send({ocrMessage(screenshot, rect(0.5, 0, 400, 600), size(1280, 800)),
                                    ocrMessage(screenshot, rect(0.3, 0, 400, 600), size(1280, 800),
                                               "00000000-0000-4000-8000-000000000002")},
                                   {{"LUMORA_READER_OUTPUT", output.path()}});
    ASSERT_EQ(exchange.responses.size(), 2u) << exchange.err;
    const Image expected[] = {cropped(page, 1, 0, 800, 1200), cropped(page, 0, 0, 801, 1200)};
    // The page must tell the two origins apart for this to test anything.
    ASSERT_FALSE(cropped(page, 0, 0, 800, 1200) == expected[0]);
    for (int i = 0; i < 2; ++i) {
        const json& response = exchange.responses[i];
        ASSERT_EQ(response["ok"], true) << response.dump();
        EXPECT_EQ(response["width"], expected[i].width);
        EXPECT_EQ(response["height"], expected[i].height);
        const auto written =
            files::readAll(response["outputDirectory"].get<std::string>() + "/book-area.png");
        ASSERT_TRUE(written);
        EXPECT_TRUE(PngImages().decode(*written) == expected[i]) << i;
    }
}

TEST_F(ReaderHostProcessTest, RefusesScreenshotsItCannotUse) {
    using fixtures::PngSpec;
    std::string withLineBreaks =
        ocrMessage(whitePng(64, 40), rect(0, 0, 10, 10), size(64, 40))["png"];
    withLineBreaks.insert(withLineBreaks.begin() + 60, '\n');
    json lineBreaks = ocrMessage("", rect(0, 0, 10, 10), size(64, 40));
    lineBreaks["png"] = withLineBreaks;
    const Exchange exchange = send({
        ocrMessage(fixtures::writeBlankPng(2000, 1000), rect(0, 0, 10, 10), size(1000, 520)),
        ocrMessage(fixtures::writeBlankPng(16'001, 1), rect(0, 0, 1, 1), size(16'001, 1)),
        ocrMessage(fixtures::writeBlankPng(8000, 6000), rect(0, 0, 10, 10), size(8000, 6000)),
        ocrMessage(fixtures::writePngHeader(PngSpec(PNG_COLOR_TYPE_RGB, 8, false, 15000, 15000)),
                   rect(0, 0, 10, 10), size(15000, 15000)),
        lineBreaks,
        ocrMessage(whitePng(64, 40), rect(0, 0, 32, 20), size(32, 20)),
        ocrMessage(whitePng(64, 40), rect(1.5, 0, 32, 20), size(32, 20)),
    });
    std::vector<std::string> errors;
    for (const auto& response : exchange.responses) errors.push_back(errorOf(response));
    EXPECT_EQ(errors, (std::vector<std::string>{
                          "Screenshot and viewport scale mismatch",
                          "Invalid or oversized PNG",
                          "Invalid or oversized PNG",
                          "Invalid or oversized PNG",
                          "Invalid or oversized PNG",
                          "No readable text found in the page crop",
                          "Crop exceeds viewport",
                      }));
    EXPECT_EQ(exchange.status, 0);
}

class RelayProcessTest : public ReaderHostProcessTest {
  protected:
    void bridgeTo(int port) {
        testing::writeFile(
            bridgePath(home.path()),
            json{{"port", port}, {"token", "3f2504e0-4f89-41d3-9a0c-0305e82c3301"}}.dump());
    }
    json relayMessage(const std::string& payload) {
        json request = message("relay-register");
        request["payload"] = payload;
        return request;
    }
};

TEST_F(RelayProcessTest, RelaysToTheAppAndIgnoresProxySettings) {
    lumora::test_support::LoopbackServer app(
        lumora::test_support::LoopbackServer::replying(200, R"({"paired":true})"));
    lumora::test_support::SilentListener proxy;
    bridgeTo(app.port());
    const std::string proxyUrl = "http://127.0.0.1:" + std::to_string(proxy.port());
    const Exchange exchange =
        send({relayMessage(R"({"name":"reader"})")}, {{"http_proxy", proxyUrl},
                                                      {"HTTP_PROXY", proxyUrl},
                                                      {"all_proxy", proxyUrl},
                                                      {"no_proxy", ""}});
    ASSERT_EQ(exchange.responses.size(), 1u);
    EXPECT_EQ(exchange.responses[0], (json{{"ok", true},
                                           {"protocolVersion", 1},
                                           {"requestId", id},
                                           {"data", {{"paired", true}}}}));
    ASSERT_EQ(app.received().size(), 1u);
    EXPECT_EQ(app.received()[0].path, "/register");
    EXPECT_EQ(app.received()[0].body, R"({"name":"reader"})");
    EXPECT_FALSE(proxy.contacted());
}

TEST_F(RelayProcessTest, ReportsTheAppsRefusal) {
    lumora::test_support::LoopbackServer app(
        lumora::test_support::LoopbackServer::replying(403, R"({"error":"Reader not paired"})"));
    bridgeTo(app.port());
    const Exchange exchange = send({relayMessage("{}"), message("hello")});
    ASSERT_EQ(exchange.responses.size(), 2u);
    EXPECT_EQ(exchange.responses[0], errorResponse(id, "Reader not paired"));
    EXPECT_EQ(exchange.responses[1]["ok"], true);
}

}  // namespace
}  // namespace lumora::ReaderHost
