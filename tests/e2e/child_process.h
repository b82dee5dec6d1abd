// Runs a built program with real pipes: feeds it standard input, closes it, and collects
// standard output, standard error and the exit status.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lumora::testing {

struct ProcessResult {
    int exitStatus = -1;  // -1 when the process did not exit normally
    std::string out;
    std::string err;
    std::vector<std::string> lines() const;  // standard output split at line feeds
};

// `environment` entries are added to (or replace) the test's own environment; `arguments`
// follow the program path.
ProcessResult runProcess(const std::string& executable, const std::string& input,
                         const std::map<std::string, std::string>& environment = {},
                         const std::vector<std::string>& arguments = {});

// As runProcess, but standard input stays open after `input` until standard output contains
// `outputMarker` (or 30 seconds pass), and `lingerSeconds` longer, for programs that answer
// after a while or that must be caught in the middle of work.
ProcessResult runProcessUntil(const std::string& executable, const std::string& input,
                              const std::string& outputMarker,
                              const std::map<std::string, std::string>& environment = {},
                              const std::vector<std::string>& arguments = {},
                              double lingerSeconds = 0);

// One turn of a conversation with a program: once standard output contains `awaited`
// `occurrences` times, `before` runs (what the user does meanwhile), then `reply` is written to
// its standard input.
struct Exchange {
    std::string awaited;
    std::string reply;
    std::size_t occurrences = 1;
    std::function<void()> before = {};
};

// Sees each line of a conversation as it passes: `sent` for what the peer wrote to the
// program, else what the program answered. Called from the peer's own threads.
using LineObserver = std::function<void(const std::string& line, bool sent)>;

// As runProcessUntil, playing the program's peer: after `input`, each exchange in turn waits
// for its marker (30 seconds at most) and answers; then standard input closes.
ProcessResult runDialogue(const std::string& executable, const std::string& input,
                          const std::vector<Exchange>& exchanges,
                          const std::map<std::string, std::string>& environment = {},
                          const LineObserver& observe = {});

// A peer that writes a program's whole input from a thread of its own, then closes it, but
// reads nothing of its standard output until finish(): what a program does when the other
// end stops reading. The writes block once the program stops reading in turn.
class StalledPeer {
  public:
    StalledPeer(const std::string& executable, std::string input,
                const std::map<std::string, std::string>& environment = {});
    ~StalledPeer();
    StalledPeer(const StalledPeer&) = delete;
    StalledPeer& operator=(const StalledPeer&) = delete;

    // Returns once the whole input is written or no write has ended for `quietSeconds`.
    void waitUntilInputStops(double quietSeconds);
    // The program's peak resident memory so far (VmHWM), read while it still runs.
    std::size_t peakResidentKiB() const;
    // Reads standard output to its end and waits for the exit.
    ProcessResult finish();

  private:
    int pid_ = 0;
    int out_ = -1;
    std::string input_;
    std::string err_;
    std::thread writer_;
    std::thread errors_;
    std::mutex mutex_;
    std::condition_variable wrote_;
    std::size_t written_ = 0;
};

// A built program of this project, found through LUMORA_BUILD_DIR.
std::string builtProgram(const std::string& relativePath);

}  // namespace lumora::testing
