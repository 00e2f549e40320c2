// The window thread's share of work that other threads start: view updates of documents
// changed by automation workers or a file transfer, and the last release of a channel
// (which may destroy its document, and documents are destroyed where their windows live).
// The application holds them from start to exit.
#pragma once

namespace tolvan::app {

// For its lifetime, such work runs at once when it arises on the window thread and is
// queued to it otherwise. Made on the window thread, with a QCoreApplication in place.
class WindowThreadPosters {
public:
    WindowThreadPosters();
    ~WindowThreadPosters();
    WindowThreadPosters(const WindowThreadPosters&) = delete;
    WindowThreadPosters& operator=(const WindowThreadPosters&) = delete;
};

}  // namespace tolvan::app
