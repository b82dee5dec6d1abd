#include "screentext/recognition.h"

#include "runtime/bridge.h"
#include "screentext/reading_order.h"
#include "screentext/reference_text.h"

namespace lumora::ScreenText {

Task<std::vector<Line>> recognizeLines(platform::TextRecognition& recognition, Executor& executor,
                                       platform::Image image) {
    // Named, not written inside the co_await: GCC 12 destroys a lambda temporary of a co_await
    // operand twice, which double-frees whatever it captured.
    auto run = [&recognition, image = std::move(image)](std::stop_token stop) {
        if (stop.stop_requested()) throw Cancelled();
        auto observations = recognition.recognize(image, stop);
        if (stop.stop_requested()) throw Cancelled();
        std::vector<Line> lines;
        lines.reserve(observations.size());
        for (auto& observation : observations)
            lines.push_back({std::move(observation.text), observation.box});
        return ordered(std::move(lines));
    };
    co_return co_await inBackground(executor, std::move(run));
}

Task<std::string> recognize(platform::TextRecognition& recognition, Executor& executor,
                            platform::Image image) {
    const auto lines = co_await recognizeLines(recognition, executor, std::move(image));
    co_return reference(lines);
}

}  // namespace lumora::ScreenText
