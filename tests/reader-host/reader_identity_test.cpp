#include "reader-host/reader_identity.h"

#include <gtest/gtest.h>

#include "reader-host/deployment.h"
#include "reader-host/url.h"

namespace lumora::ReaderHost {
namespace {

const std::string host(allowedReaderHosts[0]);
const std::string otherHost(allowedReaderHosts[1]);

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

struct Identity {
    const char* name;
    std::string url;
    std::optional<std::string> bookId;
    bool passes;
};

class ReaderIdentityTest : public ::testing::TestWithParam<Identity> {};

TEST_P(ReaderIdentityTest, AcceptsOnlyTheReaderShowingTheNamedBook) {
    Request request;
    request.url = GetParam().url;
    request.bookId = GetParam().bookId;
    EXPECT_EQ(hasReaderIdentity(request), GetParam().passes) << GetParam().url;
}

INSTANTIATE_TEST_SUITE_P(
    Urls, ReaderIdentityTest,
    ::testing::Values(
        Identity{"Plain", "https://" + host + "/read?asin=B00ABCDE12", "B00ABCDE12", true},
        Identity{"SecondHost", "https://" + otherHost + "/?asin=B00ABCDE12", "B00ABCDE12", true},
        Identity{"HostInUpperCase", "https://" + upper(host) + "/?asin=B00ABCDE12", "B00ABCDE12",
                 true},
        Identity{"LowerCaseBook", "https://" + host + "/?asin=b00abcde12", "b00abcde12", true},
        Identity{"PortAndFragment", "https://" + host + ":443/r?x=1&asin=B00ABCDE12#p3",
                 "B00ABCDE12", true},
        Identity{"EscapedBook", "https://" + host + "/?asin=B00ABCDE%31%32", "B00ABCDE12", true},
        Identity{"PlainHttp", "http://" + host + "/?asin=B00ABCDE12", "B00ABCDE12", false},
        Identity{"SchemeInUpperCase", "HTTPS://" + host + "/?asin=B00ABCDE12", "B00ABCDE12", false},
        Identity{"OtherHost", "https://example.net/?asin=B00ABCDE12", "B00ABCDE12", false},
        Identity{"SubdomainOfHost", "https://www." + host + "/?asin=B00ABCDE12", "B00ABCDE12",
                 false},
        Identity{"HostAsUserInfo", "https://" + host + "@example.net/?asin=B00ABCDE12",
                 "B00ABCDE12", false},
        Identity{"TwoUserInfos", "https://a@" + host + "@example.net/?asin=B00ABCDE12",
                 "B00ABCDE12", false},
        Identity{"BackslashTrick", "https://example.net\\@" + host + "/?asin=B00ABCDE12",
                 "B00ABCDE12", false},
        Identity{"EscapedHost",
                 "https://" + host.substr(0, 1) + "%" + "2E" + host.substr(1) + "/?asin=B00ABCDE12",
                 "B00ABCDE12", false},
        Identity{"SpaceInUrl", "https://" + host + "/a b?asin=B00ABCDE12", "B00ABCDE12", false},
        Identity{"NoHost", "https:///?asin=B00ABCDE12", "B00ABCDE12", false},
        Identity{"NoQuery", "https://" + host + "/B00ABCDE12", "B00ABCDE12", false},
        Identity{"AsinWithoutValue", "https://" + host + "/?asin&asin=B00ABCDE12", "B00ABCDE12",
                 false},
        Identity{"OnlyTheFirstAsinCounts", "https://" + host + "/?asin=B00ABCDE12&asin=X",
                 "B00ABCDE12", true},
        Identity{"LaterAsinIgnored", "https://" + host + "/?asin=X&asin=B00ABCDE12", "B00ABCDE12",
                 false},
        Identity{"AsinNameIsExact", "https://" + host + "/?ASIN=B00ABCDE12", "B00ABCDE12", false},
        Identity{"BookDiffersInCase", "https://" + host + "/?asin=B00ABCDE12", "b00abcde12", false},
        Identity{"NineCharacters", "https://" + host + "/?asin=B00ABCDE1", "B00ABCDE1", false},
        Identity{"NonAsciiLetter", "https://" + host + "/?asin=B00ABCDE1%C3%A9", "B00ABCDE1é",
                 false},
        Identity{"Punctuation", "https://" + host + "/?asin=B00ABCDE-2", "B00ABCDE-2", false},
        Identity{"NoBookId", "https://" + host + "/?asin=B00ABCDE12", std::nullopt, false}),
    [](const auto& info) { return info.param.name; });

TEST(ReaderIdentityTest, NeedsAUrl) {
    EXPECT_FALSE(hasReaderIdentity(Request{}));
}

TEST(UrlTest, SplitsSchemeHostAndQuery) {
    EXPECT_EQ(parseUrl("https://user:pw@Host.example:8080/p/a?q=1&r#f"),
              (Url{"https", "Host.example", "q=1&r"}));
    EXPECT_EQ(parseUrl("https://[::1]:8/?a"), (Url{"https", "[::1]", "a"}));
    EXPECT_EQ(parseUrl("mailto:someone"), (Url{"mailto", std::nullopt, std::nullopt}));
    for (const char* broken : {"no scheme", "//host/", "https://host:80x/", "https://[::1/",
                               "https://h/%zz", "https://h/#a#b", "https://h/\xc3\xa9"}) {
        EXPECT_EQ(parseUrl(broken), std::nullopt) << broken;
    }
}

TEST(UrlTest, QueryItemsAreDecodedAndKeepTheirOrder) {
    EXPECT_EQ(
        queryItems("a=1&b&c=x%3Dy=z&d=+"),
        (std::vector<QueryItem>{{"a", "1"}, {"b", std::nullopt}, {"c", "x=y=z"}, {"d", "+"}}));
    EXPECT_TRUE(queryItems("").empty());
}

}  // namespace
}  // namespace lumora::ReaderHost
