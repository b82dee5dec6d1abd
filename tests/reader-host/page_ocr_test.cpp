#include "reader-host/page_ocr.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <tuple>

#include "reader-host/process.h"
#include "runtime/atomic_file.h"
#include "runtime/base64.h"
#include "runtime/error.h"
#include "screentext/reference_text.h"
#include "tests/platform/linux/png_test_writer.h"
#include "tests/reader-host/test_services.h"

namespace lumora::ReaderHost {
namespace {

using nlohmann::json;
using platform::Image;
using testing::CountingImages;
using testing::ScriptedRecognizer;
using testing::TemporaryDirectory;

// Every pixel tells where it is: red and green are x and y, blue their high bits. A crop of
// such an image is the same image with its origin moved to the crop's.
Image positionalImage(std::uint32_t width, std::uint32_t height, std::uint32_t left = 0,
                      std::uint32_t top = 0) {
    Image image{width, height, std::vector<std::uint8_t>(std::size_t{width} * height * 4)};
    for (std::uint32_t y = top; y < top + height; ++y) {
        for (std::uint32_t x = left; x < left + width; ++x) {
            auto* pixel = &image.rgba[(std::size_t{y - top} * width + x - left) * 4];
            pixel[0] = static_cast<std::uint8_t>(x);
            pixel[1] = static_cast<std::uint8_t>(y);
            pixel[2] = static_cast<std::uint8_t>((x >> 8) | ((y >> 8) << 4));
            pixel[3] = 0xff;
        }
    }
    return image;
}

std::string dataUrl(const std::string& png) {
    return "data:image/png;base64," + base64::encode(png);
}

std::string pngOf(const Image& image) {
    return *platform::PngImages().encodePng(image);
}

std::vector<ScreenText::Line> someLines() {
    return {{"Second line", {0.1, 0.2, 0.5, 0.1}}, {"First line", {0.1, 0.7, 0.5, 0.1}}};
}

class PageOcrTest : public ::testing::Test {
  protected:
    PageOcrTest() {
        recognizer.lines = someLines();
        request.requestId = "6F9619FF-8B86-4011-B42D-00C04FC964FF";
        request.region = Rect{10, 5, 20, 15};
        request.viewport = Viewport{64, 40};
        request.png = dataUrl(pngOf(positionalImage(128, 80)));
    }

    nlohmann::json ocr() { return pageOcr(request, {images, recognizer, outputRoot}); }

    std::string failure() {
        try {
            ocr();
        } catch (const Error& error) {
            return error.description;
        }
        return "succeeded";
    }

    CountingImages images;
    ScriptedRecognizer recognizer;
    std::optional<std::string> outputRoot;
    Request request;
};

TEST_F(PageOcrTest, RecognisesTheCropOfTheScaledRegion) {
    const json response = ocr();
    EXPECT_EQ(response, (json{{"ok", true},
                              {"protocolVersion", 1},
                              {"requestId", request.requestId},
                              {"text", "First line\nSecond line\n"},
                              {"lineCount", 2},
                              {"width", 40},
                              {"height", 30},
                              {"engine", "Apple Vision fast"}}));
    ASSERT_EQ(recognizer.seen.size(), 1u);
    const Image& crop = recognizer.seen[0];
    EXPECT_EQ(crop, positionalImage(40, 30, 20, 10));
}

TEST_F(PageOcrTest, TextIsBoundedButLineCountCountsEveryLine) {
    recognizer.lines = {{std::string(60'000, 'a'), {0, 0.8, 1, 0.1}},
                        {std::string(60'000, 'b'), {0, 0.5, 1, 0.1}},
                        {"c", {0, 0.2, 1, 0.1}}};
    const json response = ocr();
    EXPECT_EQ(response["text"],
              std::string(60'000, 'a') + "\n" + std::string(ScreenText::truncationNotice));
    EXPECT_EQ(response["lineCount"], 3);
}

TEST_F(PageOcrTest, ABlankCropIsAFailureNotAnEmptySuccess) {
    recognizer.lines.clear();
    EXPECT_EQ(failure(), "No readable text found in the page crop");
}

TEST_F(PageOcrTest, NeedsRegionViewportAndAPngDataUrl) {
    for (auto clear : std::vector<std::function<void(Request&)>>{
             [](Request& r) { r.region.reset(); }, [](Request& r) { r.viewport.reset(); },
             [](Request& r) { r.png.reset(); },
             [](Request& r) { r.png = "data:image/jpeg;base64," + r.png->substr(22); },
             [](Request& r) { r.png = "DATA:image/png;base64," + r.png->substr(22); }}) {
        Request original = request;
        clear(request);
        EXPECT_EQ(failure(), "Invalid OCR request");
        request = original;
    }
}

TEST_F(PageOcrTest, RefusesADataUrlOfTwentyEightMillionCharacters) {
    request.png = "data:image/png;base64," + std::string(28'000'000 - 22, 'A');
    EXPECT_EQ(failure(), "Invalid OCR request");
    request.png->pop_back();
    EXPECT_EQ(failure(), "Invalid or oversized PNG");
}

TEST_F(PageOcrTest, GeometryIsCheckedBeforeThePngIsOpened) {
    request.region = Rect{10, 5, 55.5, 15};
    request.png = "data:image/png;base64,not base64";
    EXPECT_EQ(failure(), "Crop exceeds viewport");
}

TEST_F(PageOcrTest, ARegionJustBeyondTheViewportFailsAsACrop) {
    request.region = Rect{10, 5, 54.5, 15};
    EXPECT_EQ(failure(), "Invalid image crop");
}

// Only the crop's pixels are kept, but damage anywhere, even below the crop's last row, is
// still found, and before the screenshot's shape or the crop is judged.
TEST_F(PageOcrTest, ADamagedScreenshotIsRefusedWhateverTheRegion) {
    const std::string png = pngOf(positionalImage(128, 80));
    // The last chunk before IEND ends with the stream's Adler-32 and the chunk's CRC.
    constexpr std::size_t iend = 12;
    std::string badChecksum = png;
    badChecksum[png.size() - iend - 8] ^= 0x01;
    const std::string cutShort = png.substr(0, png.size() - iend - 20);
    struct Geometry {
        Rect region;
        Viewport viewport;
        const char* intact;  // the outcome for the undamaged screenshot
    };
    const Geometry geometries[] = {
        {Rect{10, 5, 20, 15}, Viewport{64, 40}, "succeeded"},
        {Rect{10, 5, 20, 15}, Viewport{64, 45}, "Screenshot and viewport scale mismatch"},
        {Rect{10, 5, 54.5, 15}, Viewport{64, 40}, "Invalid image crop"},
    };
    for (const auto& [region, viewport, intact] : geometries) {
        request.region = region;
        request.viewport = viewport;
        request.png = dataUrl(png);
        EXPECT_EQ(failure(), intact);
        for (const std::string& damaged : {badChecksum, cutShort}) {
            request.png = dataUrl(damaged);
            EXPECT_EQ(failure(), "Invalid or oversized PNG") << intact;
        }
    }
}

TEST_F(PageOcrTest, RefusesBase64WithLineBreaks) {
    std::string url = *request.png;
    url.insert(40, "\r\n");
    request.png = url;
    EXPECT_EQ(failure(), "Invalid or oversized PNG");
    request.png = *request.png + "\n";
    EXPECT_EQ(failure(), "Invalid or oversized PNG");
}

struct OversizedPng {
    const char* name;
    std::string png;
    int decodes;
};

class OversizedPngTest : public PageOcrTest, public ::testing::WithParamInterface<OversizedPng> {};

TEST_P(OversizedPngTest, IsRefusedFromItsHeader) {
    request.png = dataUrl(GetParam().png);
    EXPECT_EQ(failure(), "Invalid or oversized PNG");
    EXPECT_EQ(images.decodes, GetParam().decodes);
}

using fixtures::PngSpec;

INSTANTIATE_TEST_SUITE_P(
    Pngs, OversizedPngTest,
    ::testing::Values(
        OversizedPng{"TooWide", fixtures::writeBlankPng(16'001, 1), 0},
        OversizedPng{"TooTall", fixtures::writeBlankPng(1, 16'001), 0},
        OversizedPng{"TooManyPixels", fixtures::writeBlankPng(8000, 6000), 0},
        // A few bytes that claim 225 million pixels.
        OversizedPng{"LyingHeader",
                     fixtures::writePngHeader(PngSpec(PNG_COLOR_TYPE_RGB, 8, false, 15000, 15000)),
                     0},
        // Within the limits, but there are no pixels behind the header.
        OversizedPng{"HeaderWithoutPixels",
                     fixtures::writePngHeader(PngSpec(PNG_COLOR_TYPE_RGB, 8, false, 2000, 2000)),
                     1},
        OversizedPng{"NotAPng", "GIF89a and so on", 0}),
    [](const auto& info) { return info.param.name; });

TEST_F(PageOcrTest, AcceptsTheLargestScreenshotSides) {
    request.viewport = Viewport{16'000, 1};
    request.region = Rect{0, 0, 16, 1};
    request.png = dataUrl(fixtures::writeBlankPng(16'000, 1));
    EXPECT_EQ(ocr()["width"], 16);
}

TEST_F(PageOcrTest, RefusesAScreenshotOfAnotherShape) {
    request.viewport = Viewport{1000, 520};
    request.region = Rect{0, 0, 10, 10};
    request.png = dataUrl(fixtures::writeBlankPng(2000, 1000));
    EXPECT_EQ(failure(), "Screenshot and viewport scale mismatch");
}

TEST_F(PageOcrTest, LeavesTheCropAndTheTextInOneFolderPerRequest) {
    TemporaryDirectory root;
    outputRoot = root.path() + "/";
    const std::string firstId = request.requestId;
    const json first = ocr();
    request.requestId = "00000000-0000-4000-8000-000000000001";
    request.region = Rect{0, 0, 8, 8};
    const json second = ocr();

    for (const auto& [response, id, side] :
         {std::tuple{first, firstId, 40}, std::tuple{second, request.requestId, 16}}) {
        const std::string directory = root.path() + "/" + id;
        EXPECT_EQ(response["outputDirectory"], directory);
        EXPECT_EQ(std::filesystem::status(directory).permissions(),
                  std::filesystem::perms::owner_all);
        EXPECT_EQ(files::readAll(directory + "/ocr.txt"), "First line\nSecond line\n");
        const auto png = files::readAll(directory + "/book-area.png");
        ASSERT_TRUE(png);
        EXPECT_EQ(platform::PngImages().properties(*png)->pixelWidth, std::uint64_t(side));
    }
}

TEST_F(PageOcrTest, AnOutputFolderThatCannotBeMadeFailsTheRequest) {
    TemporaryDirectory root;
    const std::string file = root.path() + "/plain-file";
    ASSERT_TRUE(files::replaceAtomically(file, "", 0600));
    outputRoot = file;
    const std::string message = failure();
    EXPECT_EQ(message, file + "/" + request.requestId + ": Not a directory");
}

}  // namespace
}  // namespace lumora::ReaderHost
