#include "platform/x11/atspi_thread.h"

#include <atspi/atspi.h>

#include <deque>
#include <mutex>

namespace lumora::x11 {

// The work waits in a queue of its own, behind its own lock, and GLib is only asked to wake
// the thread: so the hand-over is one the thread checker sees.
struct AtspiThread::Loop {
    GMainContext* context = g_main_context_new();
    GMainLoop* mainLoop = g_main_loop_new(context, FALSE);
    std::thread::id owner;
    std::mutex mutex;
    std::deque<std::function<void()>> queued;

    ~Loop() {
        g_main_loop_unref(mainLoop);
        g_main_context_unref(context);
    }

    static gboolean runQueued(gpointer self) {
        auto* loop = static_cast<Loop*>(self);
        std::deque<std::function<void()>> ready;
        {
            std::lock_guard lock(loop->mutex);
            ready.swap(loop->queued);
        }
        for (std::function<void()>& work : ready) work();
        return G_SOURCE_REMOVE;
    }
};

AtspiThread::AtspiThread() : loop_(std::make_unique<Loop>()) {
    std::promise<bool> started;
    thread_ = std::thread([this, &started] {
        loop_->owner = std::this_thread::get_id();
        g_main_context_push_thread_default(loop_->context);
        // atspi_init answers 0 once it has reached the bus, 1 when already initialised.
        bool reached = atspi_init() <= 1;
        if (reached) {
            atspi_set_main_context(loop_->context);
            atspi_set_timeout(callTimeoutMilliseconds, callTimeoutMilliseconds);
        }
        started.set_value(reached);
        g_main_loop_run(loop_->mainLoop);
        if (reached) atspi_exit();
        g_main_context_pop_thread_default(loop_->context);
    });
    connected_ = started.get_future().get();
}

AtspiThread::~AtspiThread() {
    post([this] { g_main_loop_quit(loop_->mainLoop); });
    thread_.join();
}

void AtspiThread::post(std::function<void()> work) {
    {
        std::lock_guard lock(loop_->mutex);
        loop_->queued.push_back(std::move(work));
    }
    // An idle source rather than an invocation, which would run the queue at once, nested in
    // the call that posts, when that is on this thread.
    GSource* wake = g_idle_source_new();
    g_source_set_callback(wake, &Loop::runQueued, loop_.get(), nullptr);
    g_source_attach(wake, loop_->context);
    g_source_unref(wake);
}

bool AtspiThread::isCurrent() const {
    return std::this_thread::get_id() == loop_->owner;
}

}  // namespace lumora::x11
