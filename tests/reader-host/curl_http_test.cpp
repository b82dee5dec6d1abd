#include "platform/linux/curl_http.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>

#include "runtime/error.h"
#include "tests/support/loopback_server.h"

namespace lumora::platform {
namespace {

using lumora::test_support::LoopbackServer;
using lumora::test_support::SilentListener;

HttpRequest postTo(int port, std::string body = "{}", std::size_t limit = 1 << 20) {
    HttpRequest request;
    request.url = "http://127.0.0.1:" + std::to_string(port) + "/x";
    request.headers = {{"Authorization", "Bearer t"}, {"Content-Type", "application/json"}};
    request.body = std::move(body);
    request.timeoutSeconds = 8;
    request.maxResponseBytes = limit;
    return request;
}

TEST(CurlHttpTest, SendsTheBodyByteForByteAndReturnsStatusAndBody) {
    LoopbackServer server(LoopbackServer::replying(201, std::string("a\0b", 3)));
    const std::string body("\0\xff\r\n{}", 6);
    const HttpResponse response = CurlHttp().post(postTo(server.port(), body));
    EXPECT_EQ(response.status, 201);
    EXPECT_EQ(response.body, std::string("a\0b", 3));
    EXPECT_FALSE(response.truncated);
    ASSERT_EQ(server.received().size(), 1u);
    EXPECT_EQ(server.received()[0].body, body);
}

TEST(CurlHttpTest, StopsReceivingOnceTheReplyPassesTheLimit) {
    constexpr std::size_t chunk = 1 << 20;
    constexpr std::size_t offered = std::size_t{1} << 30;
    std::atomic<std::size_t> sent = 0;
    LoopbackServer server([&](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider(
            "application/json", [&](std::size_t, httplib::DataSink& sink) {
                static const std::string block(chunk, 'x');
                if (sent >= offered || !sink.write(block.data(), block.size())) return false;
                sent += block.size();
                return true;
            });
    });
    const HttpResponse response = CurlHttp().post(postTo(server.port(), "{}", 1000));
    EXPECT_TRUE(response.truncated);
    EXPECT_LE(response.body.size(), 1000u);
    // The client hung up: the server got nowhere near sending all it offered.
    EXPECT_LT(sent.load(), offered / 4);
}

TEST(CurlHttpTest, RefusesADeclaredLengthAboveTheLimitBeforeItsBody) {
    LoopbackServer server(LoopbackServer::replying(200, std::string(2000, 'x')));
    const HttpResponse response = CurlHttp().post(postTo(server.port(), "{}", 1999));
    EXPECT_TRUE(response.truncated);
    EXPECT_TRUE(response.body.empty());
    const HttpResponse whole = CurlHttp().post(postTo(server.port(), "{}", 2000));
    EXPECT_FALSE(whole.truncated);
    EXPECT_EQ(whole.body.size(), 2000u);
}

TEST(CurlHttpTest, IgnoresProxiesNamedInTheEnvironment) {
    LoopbackServer server;
    SilentListener proxy;
    const std::string proxyUrl = "http://127.0.0.1:" + std::to_string(proxy.port());
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
        ::setenv(name, proxyUrl.c_str(), 1);
    ::unsetenv("no_proxy");
    ::unsetenv("NO_PROXY");
    const HttpResponse response = CurlHttp().post(postTo(server.port()));
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
        ::unsetenv(name);
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(server.received().size(), 1u);
    EXPECT_FALSE(proxy.contacted());
}

TEST(CurlHttpTest, SpeaksOnlyPlainHttp) {
    HttpRequest request = postTo(1);
    request.url = "file:///etc/passwd";
    EXPECT_THROW(CurlHttp().post(request), Error);
}

}  // namespace
}  // namespace lumora::platform
