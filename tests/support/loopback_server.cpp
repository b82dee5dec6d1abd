#include "tests/support/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace lumora::test_support {
namespace {

// A TCP socket bound to an ephemeral loopback port; `listening` starts its backlog.
int boundSocket(bool listening, int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        (listening && ::listen(fd, 16) != 0) ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot open a loopback socket");
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

LoopbackServer::LoopbackServer(Handler handler) {
    if (!handler) handler = replying(200, "{}");
    auto record = [this, handler](const httplib::Request& request, httplib::Response& response) {
        {
            std::lock_guard lock(mutex_);
            received_.push_back({request.method, request.path,
                                 request.get_header_value("Authorization"),
                                 request.get_header_value("Content-Type"), request.body});
        }
        handler(request, response);
    };
    server_.Get(".*", record);
    server_.Post(".*", record);
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("cannot start the loopback server");
    // The socket already listens, so clients may connect before this thread runs.
    thread_ = std::thread([this] { server_.listen_after_bind(); });
}

LoopbackServer::~LoopbackServer() {
    server_.stop();
    thread_.join();
}

std::vector<ReceivedRequest> LoopbackServer::received() {
    std::lock_guard lock(mutex_);
    return received_;
}

LoopbackServer::Handler LoopbackServer::replying(int status, std::string body) {
    return [status, body](const httplib::Request&, httplib::Response& response) {
        response.status = status;
        response.set_content(body, "application/json");
    };
}

SilentListener::SilentListener() {
    fd_ = boundSocket(true, port_);
}

SilentListener::~SilentListener() {
    ::close(fd_);
}

bool SilentListener::contacted() const {
    pollfd waiting{fd_, POLLIN, 0};
    return ::poll(&waiting, 1, 0) > 0;
}

int unusedLoopbackPort() {
    int port = 0;
    ::close(boundSocket(false, port));
    return port;
}

RefusingPort::RefusingPort() {
    fd_ = boundSocket(false, port_);
}

RefusingPort::~RefusingPort() {
    ::close(fd_);
}

}  // namespace lumora::test_support
