// The window thread's share of work that other threads start: view updates of documents
// changed by automation workers or a file transfer, and the last release of a channel
// (which may destroy its document, and documents are destroyed where their windows live).
// Installed by the application at start and removed at exit.
#pragma once

namespace tolvan::app {

// Runs such work at once when it arises on the window thread, queued to it otherwise.
void InstallWindowThreadPosters();
void RemoveWindowThreadPosters();

}  // namespace tolvan::app
