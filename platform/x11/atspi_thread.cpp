#include "platform/x11/atspi_thread.h"

#include <atspi/atspi.h>

namespace lumora::x11 {

struct AtspiThread::Loop {
    GMainContext* context = g_main_context_new();
    GMainLoop* mainLoop = g_main_loop_new(context, FALSE);
    std::thread::id owner;
    ~Loop() {
        g_main_loop_unref(mainLoop);
        g_main_context_unref(context);
    }
};

namespace {

gboolean runOnce(gpointer data) {
    (*static_cast<std::function<void()>*>(data))();
    return G_SOURCE_REMOVE;
}

void destroyWork(gpointer data) {
    delete static_cast<std::function<void()>*>(data);
}

}  // namespace

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
    auto* queued = new std::function<void()>(std::move(work));
    g_main_context_invoke_full(loop_->context, G_PRIORITY_DEFAULT, runOnce, queued, destroyWork);
}

bool AtspiThread::isCurrent() const {
    return std::this_thread::get_id() == loop_->owner;
}

}  // namespace lumora::x11
