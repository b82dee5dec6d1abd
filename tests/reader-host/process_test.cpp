#include "reader-host/process.h"

#include <gtest/gtest.h>

#include "platform/linux/curl_http.h"
#include "reader-host/deployment.h"
#include "runtime/error.h"
#include "tests/reader-host/test_services.h"

namespace lumora::ReaderHost {
namespace {

using nlohmann::json;

const std::string id = "6f9619ff-8b86-4011-b42d-00c04fc964ff";

class ProcessTest : public ::testing::Test {
  protected:
    Request request(std::string type) {
        Request r;
        r.protocolVersion = 1;
        r.requestId = id;
        r.type = std::move(type);
        return r;
    }
    Request fromTheReader(std::string type) {
        Request r = request(std::move(type));
        r.url = "https://";
        r.url->append(allowedReaderHosts[0]).append("/?asin=B00ABCDE12");
        r.bookId = "B00ABCDE12";
        return r;
    }
    std::string failure(const Request& r) {
        try {
            process(r, services);
        } catch (const Error& error) {
            return error.description;
        }
        return "succeeded";
    }

    testing::FakeSystem system;
    testing::CountingImages images;
    testing::ScriptedRecognizer recognizer;
    platform::CurlHttp http;
    Services services{system, images, recognizer, http, nullptr};
};

TEST_F(ProcessTest, HelloReportsTheCapabilitiesAndTheApp) {
    EXPECT_EQ(process(request("hello"), services),
              (json{{"ok", true},
                    {"protocolVersion", 1},
                    {"requestId", id},
                    {"appInstalled", false},
                    {"capabilities", {"local-ocr", "app-relay"}},
                    {"engine", "Apple Vision / Lumora app relay"}}));
}

TEST_F(ProcessTest, EveryTypeNeedsProtocolOneAndAUuid) {
    for (const std::string type : {"hello", "relay-poll", "ocr", "other"}) {
        Request wrongVersion = fromTheReader(type);
        wrongVersion.protocolVersion = 2;
        EXPECT_EQ(failure(wrongVersion), "Invalid protocol or request ID") << type;
        Request notUuid = fromTheReader(type);
        notUuid.requestId = "not-a-uuid";
        EXPECT_EQ(failure(notUuid), "Invalid protocol or request ID") << type;
    }
}

TEST_F(ProcessTest, RelayTypesSkipTheReaderIdentity) {
    Request poll = request("relay-poll");
    poll.payload = "{}";
    // No bridge file in the (nonexistent) home: the relay was reached.
    EXPECT_EQ(failure(poll), "Open the updated Lumora app to connect the reader relay.");
    poll.type = "relay-unknown";
    EXPECT_EQ(failure(poll), "Invalid app relay request");
}

TEST_F(ProcessTest, OtherTypesPassTheReaderIdentityFirst) {
    EXPECT_EQ(failure(request("ocr")), "Invalid reader identity");
    EXPECT_EQ(failure(request("bookmark")), "Invalid reader identity");
    EXPECT_EQ(failure(fromTheReader("ocr")), "Invalid OCR request");
    EXPECT_EQ(failure(fromTheReader("bookmark")), "Invalid OCR request");
}

}  // namespace
}  // namespace lumora::ReaderHost
