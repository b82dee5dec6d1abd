// The recognition of one request by pocketsphinx, on its task's worker: it loads a decoder,
// converts the queued audio to 16 kHz mono 16-bit, decodes it, reports a partial result
// whenever the best hypothesis changes and the final one once the audio has ended, with a
// segment per word.
#pragma once

#include "platform/linux/pocketsphinx_model.h"
#include "platform/linux/recognition_worker.h"

namespace lumora::platform {

// Throws lumora::Error when the audio cannot be converted or decoded.
void decodeWithPocketsphinx(const PocketsphinxModel& model, RecognitionWorker& worker);

}  // namespace lumora::platform
