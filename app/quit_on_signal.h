// SIGTERM, SIGINT and SIGHUP end the server the orderly way (the event loop quits, so the
// profile is saved and the ports are closed) instead of killing it where it stands.
#pragma once

class QCoreApplication;

namespace tolvan::app {

// Installs the handlers; call once, after the application object exists.
bool QuitOnSignals(QCoreApplication& app);

}  // namespace tolvan::app
