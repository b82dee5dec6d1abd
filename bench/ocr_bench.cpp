// OCR of a screenshot through the Tesseract port, next to the tesseract command-line tool on
// the same image with the same settings and OMP_THREAD_LIMIT=1. The port must stay within
// 1.1 times the tool without any OpenMP variable of its own: run this without one.
//
// Usage: ocr_bench [image.png] [runs]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
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

#include "platform/linux/png_images.h"
#include "platform/linux/tesseract_recognition.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

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
double toolRun(const std::string& image, const std::string& threadLimit) {
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
    if (failed != 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return -1;
    return secondsSince(start);
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
    lumora::platform::TesseractRecognition recognition;
    const std::size_t lines = recognise(recognition, png);
    const double first = secondsSince(start);
    std::vector<double> warm;
    for (int i = 0; i < runs; ++i) {
        start = Clock::now();
        recognise(recognition, png);
        warm.push_back(secondsSince(start));
    }

    std::vector<double> tool;
    std::vector<double> toolThreaded;
    for (int i = 0; i < runs; ++i) {
        tool.push_back(toolRun(image, "1"));
        toolThreaded.push_back(toolRun(image, ""));
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
    std::printf("%s, %zu lines, median of %d runs\n", image.c_str(), lines, runs);
    std::printf("port, first call (engine start + decode + recognise)  %.3f s  %.2fx the tool\n",
                first, first / toolSeconds);
    std::printf("port, warm (engine reused; decode + recognise)        %.3f s  %.2fx the tool\n",
                median(warm), median(warm) / toolSeconds);
    std::printf("tesseract tool, OMP_THREAD_LIMIT=1                    %.3f s\n", toolSeconds);
    std::printf("tesseract tool, OpenMP default threads                %.3f s\n",
                median(toolThreaded));
    return first <= 1.1 * toolSeconds ? 0 : 1;
}
