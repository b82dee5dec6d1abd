// Real servers on 127.0.0.1 for the tests of loopback clients: an HTTP server with one scripted
// reply that records what it received, a bare listening socket that never answers, and a port
// that refuses connections.
#pragma once

#include <httplib.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lumora::test_support {

struct ReceivedRequest {
    std::string method;
    std::string path;
    std::string authorization;
    std::string contentType;
    std::string body;
};

class LoopbackServer {
  public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    // Answers every GET and POST with `handler`; the default answers 200 with {}.
    explicit LoopbackServer(Handler handler = {});
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    std::vector<ReceivedRequest> received();

    // A handler replying with `status` and `body` as JSON.
    static Handler replying(int status, std::string body);

  private:
    httplib::Server server_;
    int port_ = 0;
    std::mutex mutex_;
    std::vector<ReceivedRequest> received_;
    std::thread thread_;
};

// Accepts connections into its backlog and never reads or answers them.
class SilentListener {
  public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    int port() const { return port_; }
    // Whether anyone has connected so far.
    bool contacted() const;

  private:
    int fd_ = -1;
    int port_ = 0;
};

// A loopback port nobody holds at the moment of the call, for a server started afterwards.
int unusedLoopbackPort();

// A loopback port held bound without listening, so that connecting to it is refused and no
// other program can take it meanwhile.
class RefusingPort {
  public:
    RefusingPort();
    ~RefusingPort();
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    int port() const { return port_; }

  private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace lumora::test_support
