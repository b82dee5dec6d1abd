// Recognition of a page crop into lines in reading order, awaited to the end before the host
// reads its next message.
#pragma once

#include <vector>

#include "platform/images.h"
#include "platform/text_recognition.h"
#include "runtime/thread_pool.h"
#include "screentext/line.h"

namespace lumora::ReaderHost {

class PageRecognizer {
  public:
    virtual ~PageRecognizer() = default;
    // Throws what recognition throws.
    virtual std::vector<ScreenText::Line> recognizeLines(platform::Image image) = 0;
    // A page is coming: recognition may get ready while it is decoded.
    virtual void prepare() {}
};

// ScreenText's recognition, its engine run on `pool`.
class ScreenTextRecognizer final : public PageRecognizer {
  public:
    ScreenTextRecognizer(platform::TextRecognition& recognition, ThreadPool& pool)
        : recognition_(recognition), pool_(pool) {}

    std::vector<ScreenText::Line> recognizeLines(platform::Image image) override;
    void prepare() override { recognition_.prepare(); }

  private:
    platform::TextRecognition& recognition_;
    ThreadPool& pool_;
};

}  // namespace lumora::ReaderHost
