// OCR of a screenshot through the Tesseract port, next to the tesseract command-line tool on
// the same image with the same settings and OMP_THREAD_LIMIT=1. With its engines reading lines
// in parallel, the port must take at most 0.65 times the tool on its first call (engines
// started) and 0.55 times warm, without any OpenMP variable of its own: run this without one.
// Processor time is shown next to wall time: on a shared machine it is the steadier of the two,
// and a port that reads in parallel spends more of it than it waits.
//
// Usage: ocr_bench [image.png] [runs]
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "platform/linux/png_images.h"
#include "platform/linux/tesseract_recognition.h"

extern char** environ;

namespace {

using lumora::bench::Clock;
using lumora::bench::median;
using lumora::bench::milliseconds;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Processor seconds (user and system) this process has used so far.
double processorSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double seconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

struct Timing {
    double wall = -1;
    double processor = -1;
};

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// Decoding and recognition, as a caller holding the PNG bytes does it.
std::size_t recognise(lumora::platform::TesseractRecognition& recognition, const std::string& png) {
    const auto image = lumora::platform::PngImages().decode(png);
    if (!image) throw std::runtime_error("not a PNG");
    return recognition.recognize(*image, {}).size();
}

// One run of the tool, its output discarded; `threadLimit` empty leaves OpenMP at its default.
Timing toolRun(const std::string& image, const std::string& threadLimit) {
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable)
        if (std::string_view(*variable).substr(0, 17) != "OMP_THREAD_LIMIT=")
            environment.emplace_back(*variable);
    if (!threadLimit.empty()) environment.push_back("OMP_THREAD_LIMIT=" + threadLimit);
    std::vector<std::string> arguments = {"tesseract",
                                          image,
                                          "-",
                                          "--oem",
                                          "1",
                                          "--psm",
                                          "3",
                                          "-l",
                                          "eng",
                                          "-c",
                                          "lstm_use_matrix=0",
                                          "-c",
                                          "tessedit_do_invert=0"};
    auto pointers = [](std::vector<std::string>& strings) {
        std::vector<char*> result;
        for (auto& s : strings) result.push_back(s.data());
        result.push_back(nullptr);
        return result;
    };
    auto argv = pointers(arguments);
    auto envp = pointers(environment);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, "tesseract", &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    if (failed != 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return {};
    return {secondsSince(start), seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

}  // namespace

int main(int argc, char** argv) {
    const std::string image =
        argc > 1 ? argv[1] : std::string(LUMORA_OCR_FIXTURES) + "/two-column.png";
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const std::string png = readFile(image);
    if (const char* limit = std::getenv("OMP_THREAD_LIMIT"))
        std::printf("warning: OMP_THREAD_LIMIT=%s is set; the port's own figure needs it unset\n",
                    limit);

    auto start = Clock::now();
    double startProcessor = processorSeconds();
    lumora::platform::TesseractRecognition recognition;
    const std::size_t lines = recognise(recognition, png);
    const double first = secondsSince(start);
    const double firstProcessor = processorSeconds() - startProcessor;
    std::vector<double> warm;
    std::vector<double> warmProcessor;
    for (int i = 0; i < runs; ++i) {
        start = Clock::now();
        startProcessor = processorSeconds();
        recognise(recognition, png);
        warm.push_back(secondsSince(start));
        warmProcessor.push_back(processorSeconds() - startProcessor);
    }

    std::vector<double> tool;
    std::vector<double> toolProcessor;
    std::vector<double> toolThreaded;
    for (int i = 0; i < runs; ++i) {
        const Timing single = toolRun(image, "1");
        tool.push_back(single.wall);
        toolProcessor.push_back(single.processor);
        toolThreaded.push_back(toolRun(image, "").wall);
    }
    if (*std::min_element(tool.begin(), tool.end()) < 0 ||
        *std::min_element(toolThreaded.begin(), toolThreaded.end()) < 0) {
        std::printf(
            "port: first call %.3f s, warm %.3f s (%zu lines); tesseract tool did not "
            "run (apt-get install tesseract-ocr)\n",
            first, median(warm), lines);
        return 1;
    }
    const double toolSeconds = median(tool);
    const double toolCpu = median(toolProcessor);
    std::printf("%s, %zu lines, median of %d runs; wall time, then processor time\n", image.c_str(),
                lines, runs);
    std::printf(
        "port, first call (engine start + decode + recognise)  %.3f s  %.2fx | %.3f s  %.2fx\n",
        first, first / toolSeconds, firstProcessor, firstProcessor / toolCpu);
    std::printf(
        "port, warm (engine reused; decode + recognise)        %.3f s  %.2fx | %.3f s  %.2fx\n",
        median(warm), median(warm) / toolSeconds, median(warmProcessor),
        median(warmProcessor) / toolCpu);
    std::printf("tesseract tool, OMP_THREAD_LIMIT=1                    %.3f s        | %.3f s\n",
                toolSeconds, toolCpu);
    std::printf("tesseract tool, OpenMP default threads                %.3f s\n",
                median(toolThreaded));
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    std::printf("peak RSS of this process (%zu engines)                 %.1f MiB\n",
                lumora::platform::TesseractRecognition::enginesForThisComputer(),
                static_cast<double>(self.ru_maxrss) / 1024.0);
    return first <= 0.65 * toolSeconds && median(warm) <= 0.55 * toolSeconds ? 0 : 1;
}
