// The recognition of one request by pocketsphinx, on a worker thread of its own: it loads a
// decoder, converts the queued audio to 16 kHz mono 16-bit, decodes it, reports a partial
// result whenever the best hypothesis changes and the final one once the audio has ended, with
// a segment per word. The handler is called on the worker, never after cancel has returned; it
// may cancel the task but not destroy it.
#pragma once

#include <memory>
#include <mutex>
#include <thread>

#include "platform/linux/pocketsphinx_model.h"
#include "platform/linux/pocketsphinx_request.h"
#include "platform/speech.h"

namespace lumora::platform {

class PocketsphinxTask final : public RecognitionTask {
  public:
    PocketsphinxTask(PocketsphinxModel model, std::shared_ptr<PocketsphinxRequest> request,
                     RecognitionHandler handler);
    // Cancels, then waits for the worker, which stops at its next buffer.
    ~PocketsphinxTask() override;
    PocketsphinxTask(const PocketsphinxTask&) = delete;
    PocketsphinxTask& operator=(const PocketsphinxTask&) = delete;

    void cancel() override;

  private:
    // The worker: decodes, and reports any failure as the task's error.
    void recognize();
    // Throws lumora::Error when the audio cannot be converted or decoded.
    void decode();
    bool isCancelled();
    void report(const std::optional<RecognitionResult>& result,
                const std::optional<std::string>& error);

    const PocketsphinxModel model_;
    const std::shared_ptr<PocketsphinxRequest> request_;
    const RecognitionHandler handler_;
    // Held while the handler runs, so that nothing is reported once cancel has returned;
    // recursive, since the handler may cancel.
    std::recursive_mutex reportMutex_;
    bool cancelled_ = false;
    // Declared last: it starts once everything above exists.
    std::thread worker_;
};

}  // namespace lumora::platform
