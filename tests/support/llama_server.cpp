#include "tests/support/llama_server.h"

#include <fcntl.h>
#include <httplib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/loopback_server.h"

extern char** environ;

namespace lumora::test_support {
namespace {

std::string readAll(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Runs `arguments` with its output in `log`; returns its process id.
pid_t start(const std::vector<std::string>& arguments, const std::string& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) throw std::runtime_error("cannot start " + arguments[0]);
    return pid;
}

int waitFor(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

// The scripted model, written once per test process.
const std::string& scriptedModel() {
    static const std::string path = [] {
        const std::string file = std::filesystem::temp_directory_path() /
                                 ("lumora-scripted-model-" + std::to_string(::getpid()) + ".gguf");
        const std::string log = file + ".log";
        const pid_t writer =
            start({LUMORA_SYSTEM_PYTHON, LUMORA_SCRIPTED_MODEL_SCRIPT, LUMORA_GGUF_PY, file}, log);
        if (waitFor(writer) != 0) {
            throw std::runtime_error("cannot write the scripted model: " + readAll(log));
        }
        std::filesystem::remove(log);
        static struct Removal {
            std::string file;
            ~Removal() { std::filesystem::remove(file); }
        } removal{file};
        return file;
    }();
    return path;
}

}  // namespace

LlamaServer::LlamaServer(Options options) : port_(unusedLoopbackPort()) {
    char pattern[] = "/tmp/lumora-llama-server-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("llama-server: no folder");
    folder_ = pattern;
    std::string model = scriptedModel();
    if (options.loading) {
        // Reading a pipe nobody writes keeps the server in its loading state.
        model = folder_ + "/loading.gguf";
        ::mkfifo(model.c_str(), 0600);
    }
    std::vector<std::string> arguments = {LUMORA_LLAMA_SERVER,
                                          "--model",
                                          model,
                                          "--alias",
                                          modelName,
                                          "--host",
                                          "127.0.0.1",
                                          "--port",
                                          std::to_string(port_),
                                          "--threads",
                                          "1",
                                          "--parallel",
                                          "1",
                                          "--no-webui"};
    arguments.insert(arguments.end(), options.extra.begin(), options.extra.end());
    const std::string log = folder_ + "/server.log";
    pid_ = start(arguments, log);

    httplib::Client client("127.0.0.1", port_);
    client.set_connection_timeout(std::chrono::milliseconds(200));
    const int awaited = options.loading ? 503 : 200;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        if (auto health = client.Get("/health"); health && health->status == awaited) return;
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::string output = readAll(log);
    kill();
    std::filesystem::remove_all(folder_);
    throw std::runtime_error("llama-server did not get ready: " + output);
}

LlamaServer::~LlamaServer() {
    kill();
    std::filesystem::remove_all(folder_);
}

void LlamaServer::kill() {
    if (pid_ < 0) return;
    ::kill(pid_, SIGKILL);
    waitFor(pid_);
    pid_ = -1;
}

}  // namespace lumora::test_support
