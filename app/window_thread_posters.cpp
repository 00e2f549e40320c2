#include "app/window_thread_posters.h"

#include "channels/doc_comm.h"
#include "framework/document.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <functional>

namespace tolvan::app {

namespace {
void RunOnWindowThread(std::function<void()> fn) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}
}  // namespace

void InstallWindowThreadPosters() {
    tfw::SetViewThreadPoster(&RunOnWindowThread);
    CDocComm::SetReleasePoster(&RunOnWindowThread);
}

void RemoveWindowThreadPosters() {
    tfw::SetViewThreadPoster({});
    CDocComm::SetReleasePoster({});
}

}  // namespace tolvan::app
