// A cloud request through the whole controller on one thread, so wall time is processor time:
// - "ask" to the "generation_input" line for a 1280x800 window showing a two-column page; the
//   OCR of that window alone; and the same request with an engine that hands back, at once,
//   the lines the real one found, which is everything but the OCR (target: under 5% of it);
// - 1,000 growing "hosted_snapshot" lines of a 6,000-character answer and its
//   "hosted_complete", decoded from their lines and typed into the note, auditing off
//   (target: under 100 ms).
#include <benchmark/benchmark.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "assistant/host/assistant.h"
#include "assistant/host/event_output.h"
#include "platform/linux/png_images.h"
#include "platform/linux/soxr_conversion.h"
#include "platform/linux/tesseract_recognition.h"
#include "platform/sim/sim_desktop.h"
#include "runtime/atomic_file.h"
#include "runtime/manual_executor.h"
#include "runtime/text.h"
#include "screentext/recognition.h"
#include "tests/support/notes_world.h"

namespace {

using namespace lumora;
using nlohmann::json;

// The note's window shows a two-column page; auditing is off.
json noteWithPage() {
    json world = controller_testing::notesWorld({});
    world["windows"][0]["bounds"] = {{"x", 0}, {"y", 0}, {"width", 1280}, {"height", 800}};
    world["windows"][0]["image"] = {{"path", LUMORA_OCR_FIXTURES "/two-column.png"}};
    world["system"]["environment"] = {{"LUMORA_AUDIT_DIR", nullptr}};
    return world;
}

// Answers at once with what it was told the page says.
class RememberedRecognition final : public platform::TextRecognition {
  public:
    explicit RememberedRecognition(std::vector<platform::TextObservation> lines)
        : lines_(std::move(lines)) {}
    std::vector<platform::TextObservation> recognize(const platform::Image&,
                                                     std::stop_token) override {
        return lines_;
    }

  private:
    std::vector<platform::TextObservation> lines_;
};

// The helper's main thread and its pool, folded onto this thread.
struct Helper {
    explicit Helper(platform::TextRecognition* engine = nullptr)
        : desktop(sim::SimDesktop::load(noteWithPage().dump())),
          ports(desktop->ports(engine ? *engine : recognition, images, audioConversion)) {
        setEventDestination([this](std::string_view line) {
            if (line.find("\"generation_input\"") != std::string_view::npos) ++inputsSent;
            if (line.find("\"Text inserted\"") != std::string_view::npos) ++answersInserted;
        });
        assistant = std::make_unique<Assistant>(loop, executor, executor, ports);
    }
    ~Helper() {
        assistant.reset();
        resetEventDestination();
    }

    void send(std::string_view line) {
        std::optional<Request> request = decoder.decode(line);
        if (!request) throw std::runtime_error("undecodable line");
        assistant->handle(*request);
        while (loop.runUntilIdle() + executor.runReady() > 0) {
        }
    }

    std::unique_ptr<sim::SimDesktop> desktop;
    platform::PngImages images;
    platform::TesseractRecognition recognition;
    platform::SoxrConversion audioConversion;
    platform::Ports ports;
    ManualClock clock;
    EventLoop loop{clock};
    ManualExecutor executor;
    RequestDecoder decoder;
    std::unique_ptr<Assistant> assistant;
    int inputsSent = 0;
    int answersInserted = 0;
};

std::string command(std::string_view name, std::uint64_t id, const json& fields = {}) {
    json line = fields.is_null() ? json::object() : fields;
    line["command"] = name;
    line["id"] = id;
    return line.dump();
}

void ask(benchmark::State& state, platform::TextRecognition* engine) {
    Helper helper(engine);
    std::uint64_t id = 0;
    for (auto _ : state) {
        ++id;
        helper.send(command("open", id));
        helper.send(command("ask", id, {{"text", "Summarise this page"}, {"provider", "cloud"}}));
    }
    if (helper.inputsSent != static_cast<int>(id)) state.SkipWithError("no generation_input");
}

void askToGenerationInput(benchmark::State& state) {
    ask(state, nullptr);
}
BENCHMARK(askToGenerationInput)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void askToGenerationInputWithoutOcr(benchmark::State& state) {
    platform::PngImages images;
    platform::TesseractRecognition tesseract;
    auto page = images.decode(*files::readAll(LUMORA_OCR_FIXTURES "/two-column.png"));
    RememberedRecognition remembered(tesseract.recognize(*page, {}));
    ask(state, &remembered);
}
BENCHMARK(askToGenerationInputWithoutOcr)->Unit(benchmark::kMillisecond);

void ocrOfTheWindow(benchmark::State& state) {
    platform::PngImages images;
    platform::TesseractRecognition recognition;
    ManualClock clock;
    EventLoop loop(clock);
    ManualExecutor executor;
    auto page = images.decode(*files::readAll(LUMORA_OCR_FIXTURES "/two-column.png"));
    std::string reference;
    for (auto _ : state) {
        auto read = [&]() -> Task<void> {
            reference = co_await ScreenText::recognize(recognition, executor, *page);
        };
        spawn(loop, read());
        while (loop.runUntilIdle() + executor.runReady() > 0) {
        }
    }
    if (reference.empty()) state.SkipWithError("no text");
}
BENCHMARK(ocrOfTheWindow)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void receiveThousandSnapshots(benchmark::State& state) {
    const std::string piece = "Ada’s engine — notes. ";
    std::string answer;
    while (answer.size() < 6000) answer += piece;
    answer = std::string(text::characterPrefix(answer, 6000));
    const std::vector<std::size_t> ends = text::characterEnds(answer);
    Helper helper;
    std::uint64_t id = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ++id;
        helper.desktop->editField("body", "", {0, 0});  // an empty note for each answer
        helper.send(command("open", id));
        helper.send(command("ask", id, {{"text", "Write the note"}, {"provider", "cloud"}}));
        std::vector<std::string> lines;
        for (std::size_t i = 1; i <= 1000; ++i) {
            std::string sofar = answer.substr(0, ends[i * ends.size() / 1000 - 1]);
            lines.push_back(command("hosted_snapshot", id, {{"action", "text"}, {"text", sofar}}));
        }
        lines.push_back(command("hosted_complete", id, {{"action", "text"}, {"text", answer}}));
        state.ResumeTiming();
        for (const std::string& line : lines) helper.send(line);
    }
    if (helper.answersInserted != static_cast<int>(id) ||
        helper.desktop->field("body")->value != answer) {
        state.SkipWithError("the answer did not arrive whole");
    }
}
BENCHMARK(receiveThousandSnapshots)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
