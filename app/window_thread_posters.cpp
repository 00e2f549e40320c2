#include "app/window_thread_posters.h"

#include "channels/doc_comm.h"
#include "framework/document.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <functional>
#include <mutex>
#include <vector>

namespace tolvan::app {

namespace {

// Work handed to the window thread. The functions go by a list under our own lock and the
// wake-up by name: nothing made on the other thread is handed over under Qt's locks alone,
// which race checkers cannot see.
class WindowThreadQueue : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    void Run(std::function<void()> fn) {
        if (QThread::currentThread() == thread()) {
            fn();
            return;
        }
        {
            std::lock_guard lock(mutex_);
            pending_.push_back(std::move(fn));
        }
        QMetaObject::invokeMethod(this, "RunPending", Qt::QueuedConnection);
    }

private Q_SLOTS:
    void RunPending() {
        std::vector<std::function<void()>> run;
        {
            std::lock_guard lock(mutex_);
            run.swap(pending_);
        }
        for (std::function<void()>& fn : run) fn();
    }

private:
    std::mutex mutex_;
    std::vector<std::function<void()>> pending_;
};

// Made on the window thread, lives with the application object: other threads may still
// hold a poster when the application removes them.
QPointer<WindowThreadQueue> g_queue;

}  // namespace

WindowThreadPosters::WindowThreadPosters() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    if (!g_queue) g_queue = new WindowThreadQueue(app);
    WindowThreadQueue* queue = g_queue.data();
    auto post = [queue](std::function<void()> fn) { queue->Run(std::move(fn)); };
    tfw::SetViewThreadPoster(post);
    CDocComm::SetReleasePoster(post);
}

WindowThreadPosters::~WindowThreadPosters() {
    tfw::SetViewThreadPoster({});
    CDocComm::SetReleasePoster({});
}

}  // namespace tolvan::app

#include "window_thread_posters.moc"
