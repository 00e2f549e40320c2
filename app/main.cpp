// tolvan32: the serial communication server.
#include "app/command_line.h"
#include "app/tolvan_app.h"

#include <QApplication>

#include <string>
#include <vector>

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);

    tolvan::app::CAppComm app;
    QObject::connect(&app, &tolvan::app::CAppComm::QuitRequested, &qt, &QApplication::quit,
                     Qt::QueuedConnection);
    if (!app.InitInstance(tolvan::app::ParseCommandLine(args))) return 1;
    const int rc = qt.exec();
    app.ExitInstance();
    return rc;
}
