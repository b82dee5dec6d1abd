#include "platform/linux/model_server_settings.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>

namespace lumora::platform {
namespace {

constexpr std::string_view scheme = "http://";
constexpr std::string_view defaultApiPath = "/v1";
// llama-server's and Ollama's own defaults.
constexpr std::string_view wellKnownServers[] = {"http://127.0.0.1:8080", "http://127.0.0.1:11434"};

std::string lowered(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return result;
}

bool isLoopbackHost(std::string_view host) {
    if (lowered(host) == "localhost") return true;
    std::string text(host);
    in_addr v4{};
    if (inet_pton(AF_INET, text.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        in6_addr v6{};
        text = text.substr(1, text.size() - 2);
        return inet_pton(AF_INET6, text.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
    }
    return false;
}

// The host of an authority: a bracketed IPv6 literal, or everything before the port.
std::string_view hostOf(std::string_view authority) {
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        return close == std::string_view::npos ? authority : authority.substr(0, close + 1);
    }
    return authority.substr(0, authority.find(':'));
}

bool validPort(std::string_view authority, std::string_view host) {
    std::string_view rest = authority.substr(host.size());
    if (rest.empty()) return true;
    if (rest.front() != ':' || rest.size() < 2 || rest.size() > 6) return false;
    rest.remove_prefix(1);
    return std::all_of(rest.begin(), rest.end(), [](unsigned char c) { return std::isdigit(c); }) &&
           std::stoi(std::string(rest)) <= 65535;
}

ParsedServerAddress refused(std::string why) {
    return {std::nullopt, std::move(why)};
}

}  // namespace

ParsedServerAddress parseModelServerAddress(std::string_view url) {
    if (lowered(url.substr(0, scheme.size())) != scheme) {
        return refused("LUMORA_MODEL_SERVER_URL must be an http:// address on this computer.");
    }
    url.remove_prefix(scheme.size());
    const std::size_t slash = url.find_first_of("/?#");
    std::string_view authority = url.substr(0, slash);
    std::string_view path = slash == std::string_view::npos ? "" : url.substr(slash);
    const std::string_view host = hostOf(authority);
    if (authority.find('@') != std::string_view::npos || !validPort(authority, host) ||
        path.find_first_of("?#") != std::string_view::npos) {
        return refused("LUMORA_MODEL_SERVER_URL is not a server address: " + std::string(url));
    }
    if (!isLoopbackHost(host)) {
        return refused("LUMORA_MODEL_SERVER_URL names " + std::string(host) +
                       ", but the on-device model sees your selection and screen, so it is only "
                       "asked on this computer (localhost, 127.0.0.1 or [::1]). Nothing was sent.");
    }
    while (path.ends_with('/')) path.remove_suffix(1);
    return {ModelServerAddress{std::string(scheme) + std::string(authority),
                               path.empty() ? std::string(defaultApiPath) : std::string(path)},
            ""};
}

ModelServerSettings modelServerSettings(const Environment& environment) {
    ModelServerSettings settings;
    auto named = [&](const char* name) {
        std::optional<std::string> value = environment(name);
        return value && !value->empty() ? value : std::nullopt;
    };
    if (std::optional<std::string> url = named("LUMORA_MODEL_SERVER_URL")) {
        ParsedServerAddress parsed = parseModelServerAddress(*url);
        if (parsed.address) settings.candidates.push_back(*parsed.address);
        settings.named = true;
        settings.refusal = std::move(parsed.refusal);
    } else {
        for (std::string_view server : wellKnownServers) {
            settings.candidates.push_back(*parseModelServerAddress(server).address);
        }
    }
    settings.standardModel = named("LUMORA_MODEL");
    settings.generalModel = named("LUMORA_MODEL_GENERAL");
    if (!settings.generalModel) settings.generalModel = settings.standardModel;
    settings.apiKey = named("LUMORA_MODEL_API_KEY");
    return settings;
}

}  // namespace lumora::platform
