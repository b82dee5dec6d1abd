#include "platform/linux/model_server_connection.h"

#include <exception>
#include <memory>

#include "platform/linux/curl_loopback.h"
#include "runtime/error.h"

namespace lumora::platform {
namespace {

using CurlLoopback::check;

// Error replies are short; anything longer is cut, not buffered.
constexpr std::size_t maxWholeReplyBytes = 1 << 20;
// A server on this computer accepts at once; one that does not within this is not running.
constexpr long connectTimeoutMs = 2000;
constexpr int idleWaitMs = 60 * 60 * 1000;

struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

struct Receiver {
    CURL* curl;
    const std::function<void(std::string_view)>* streamTo;  // none: collect the whole reply
    ModelServerReply& reply;
    std::exception_ptr failure;
};

std::size_t receive(char* data, std::size_t size, std::size_t count, void* context) {
    auto& receiver = *static_cast<Receiver*>(context);
    const std::size_t length = size * count;
    if (receiver.reply.status == 0) {
        curl_easy_getinfo(receiver.curl, CURLINFO_RESPONSE_CODE, &receiver.reply.status);
    }
    if (receiver.streamTo != nullptr && receiver.reply.status == 200) {
        try {
            (*receiver.streamTo)(std::string_view(data, length));
        } catch (...) {
            receiver.failure = std::current_exception();
            return 0;
        }
        return length;
    }
    if (length > maxWholeReplyBytes - receiver.reply.body.size()) return 0;
    receiver.reply.body.append(data, length);
    return length;
}

// Sets up the request's method, headers and receiver. The body, when there is one, is sent from
// where it is, so it must outlive the transfer.
CurlLoopback::HeaderList prepare(CURL* curl, const std::optional<std::string>& apiKey,
                                 const std::string* body, Receiver& receiver) {
    std::vector<std::pair<std::string, std::string>> headers;
    if (apiKey) headers.emplace_back("Authorization", "Bearer " + *apiKey);
    if (body) {
        headers.emplace_back("Content-Type", "application/json");
        check(curl_easy_setopt(curl, CURLOPT_POST, 1L));
        check(curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                               static_cast<curl_off_t>(body->size())));
        check(curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body->data()));
    }
    CurlLoopback::HeaderList list = CurlLoopback::headerList(headers);
    check(curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list.get()));
    check(curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, receive));
    check(curl_easy_setopt(curl, CURLOPT_WRITEDATA, &receiver));
    return list;
}

void finish(CURLcode outcome, const Receiver& receiver, const char* details) {
    if (receiver.failure) std::rethrow_exception(receiver.failure);
    if (outcome != CURLE_OK) CurlLoopback::fail(outcome, details);
}

}  // namespace

ModelServerReply ModelServerConnection::fetch(const std::string& path,
                                              const std::optional<std::string>& body,
                                              double timeoutSeconds) const {
    char details[CURL_ERROR_SIZE];
    CurlLoopback::EasyHandle handle = CurlLoopback::open(url_ + path, details);
    ModelServerReply reply;
    Receiver receiver{handle.get(), nullptr, reply, nullptr};
    CurlLoopback::HeaderList headers =
        prepare(handle.get(), apiKey_, body ? &*body : nullptr, receiver);
    const long bound = CurlLoopback::timeoutMilliseconds(timeoutSeconds);
    check(curl_easy_setopt(handle.get(), CURLOPT_TIMEOUT_MS, bound));
    check(curl_easy_setopt(handle.get(), CURLOPT_CONNECTTIMEOUT_MS, bound));
    finish(curl_easy_perform(handle.get()), receiver, details);
    check(curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &reply.status));
    return reply;
}

// Driven through a multi handle so that a stop can wake the wait for the next bytes: an easy
// transfer would only notice it at its next progress call, up to a second later.
ModelServerReply ModelServerConnection::stream(const std::string& path, const std::string& body,
                                               const std::function<void(std::string_view)>& receive,
                                               std::stop_token stop) const {
    char details[CURL_ERROR_SIZE];
    CurlLoopback::EasyHandle handle = CurlLoopback::open(url_ + path, details);
    ModelServerReply reply;
    Receiver receiver{handle.get(), &receive, reply, nullptr};
    CurlLoopback::HeaderList headers = prepare(handle.get(), apiKey_, &body, receiver);
    check(curl_easy_setopt(handle.get(), CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs));

    std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
    if (!multi) CurlLoopback::fail(CURLE_FAILED_INIT, "");
    if (curl_multi_add_handle(multi.get(), handle.get()) != CURLM_OK) {
        CurlLoopback::fail(CURLE_FAILED_INIT, "");
    }
    struct Detach {
        CURLM* multi;
        CURL* easy;
        ~Detach() { curl_multi_remove_handle(multi, easy); }
    } detach{multi.get(), handle.get()};
    std::stop_callback wake(stop, [&multi] { curl_multi_wakeup(multi.get()); });

    for (int running = 1;;) {
        if (stop.stop_requested()) throw Cancelled();
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            CurlLoopback::fail(CURLE_FAILED_INIT, "");
        }
        if (running == 0) break;
        // libcurl shortens the wait for its own timers; only data or a stop ends it otherwise.
        curl_multi_poll(multi.get(), nullptr, 0, idleWaitMs, nullptr);
    }
    int queued = 0;
    CURLMsg* message = curl_multi_info_read(multi.get(), &queued);
    finish(message != nullptr ? message->data.result : CURLE_RECV_ERROR, receiver, details);
    check(curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &reply.status));
    return reply;
}

}  // namespace lumora::platform
