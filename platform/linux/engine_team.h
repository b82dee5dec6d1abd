// Reads a page with several engines at once: one lays the page out, then every engine reads
// pieces of lines until none are left, and the words go back in layout order. Each member is a
// thread owning one engine, started on that thread at its first page (or ahead of it, when
// asked) and kept until the team ends. Members start their engines in parallel, and a page
// never waits for an engine that is still starting: whoever is ready does the work.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "platform/linux/page_engine.h"

namespace lumora::platform {

class EngineTeam {
  public:
    using EngineFactory = std::function<std::unique_ptr<PageEngine>()>;

    // `startEngine` runs on the members' threads, once per member until it succeeds.
    EngineTeam(std::size_t members, EngineFactory startEngine);
    ~EngineTeam();
    EngineTeam(const EngineTeam&) = delete;
    EngineTeam& operator=(const EngineTeam&) = delete;

    // Blocking, one page at a time. Rethrows what an engine threw (the first of it), throws
    // Cancelled once `stop` is requested; either way no member is still working on the page
    // when it returns.
    std::vector<TextObservation> read(const GreyImage& page, std::stop_token stop);

    // Has one member start its engine now, without waiting: the next page then finds an engine
    // ready to lay it out while the caller still prepares the page on another core. The other
    // members start when the page comes, beside the layout, which only the first engine needs.
    void startAhead();

  private:
    struct Page;

    void serve();
    // Unlocks while the engine starts; returns what the start threw.
    std::exception_ptr start(std::unique_ptr<PageEngine>& engine,
                             std::unique_lock<std::mutex>& lock);
    void work(Page& page, PageEngine& engine, std::unique_lock<std::mutex>& lock);
    void layOut(Page& page, PageEngine& engine, std::unique_lock<std::mutex>& lock);

    const EngineFactory startEngine_;
    std::mutex readMutex_;
    // Guards everything below and the page being read.
    std::mutex mutex_;
    std::condition_variable_any changed_;
    Page* page_ = nullptr;
    std::uint64_t pagesStarted_ = 0;
    bool startAhead_ = false;
    bool ending_ = false;
    std::vector<std::jthread> members_;
};

}  // namespace lumora::platform
