// llama.cpp's own server on loopback, for the tests and benchmarks of the model-server backend:
// it serves the scripted test model (scripted_model.py), whose greedy answer follows from the
// prompt's last byte: ":" answers "selection", "!" answers "0|Thanks for the note, see you on
// Monday.", "~" answers "0|" and then words without end. Or it serves a model that never
// finishes loading, to be caught in that state.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace lumora::test_support {

class LlamaServer {
  public:
    static constexpr const char* modelName = "scripted-test-model";

    struct Options {
        bool loading = false;            // its model never finishes loading
        std::vector<std::string> extra;  // further llama-server arguments
    };

    // Starts it on a free loopback port and waits (within 30 seconds) until it serves, or, loading,
    // until it says it is loading. Throws std::runtime_error, with the server's output, when it
    // does not.
    explicit LlamaServer(Options options);
    ~LlamaServer();
    LlamaServer(const LlamaServer&) = delete;
    LlamaServer& operator=(const LlamaServer&) = delete;

    int port() const { return port_; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    // Ends it at once, as a crash would; returns once it is gone.
    void kill();

  private:
    int port_;
    std::string folder_;
    pid_t pid_ = -1;
};

}  // namespace lumora::test_support
