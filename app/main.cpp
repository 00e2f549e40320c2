// tolvan32: the serial communication server.
#include "app/command_line.h"
#include "app/frame_main.h"
#include "app/quit_on_signal.h"
#include "app/tolvan_app.h"

#include <QApplication>
#include <QTimer>

#include <string>
#include <vector>

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    tolvan::app::QuitOnSignals(qt);
    std::vector<std::string> args;
    // --grab FILE: save a picture of the main window once it is up, then quit (for docs).
    QString grab;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--grab" && i + 1 < argc)
            grab = QString::fromLocal8Bit(argv[++i]);
        else
            args.emplace_back(argv[i]);
    }

    tolvan::app::CAppComm app;
    QObject::connect(&app, &tolvan::app::CAppComm::QuitRequested, &qt, &QApplication::quit,
                     Qt::QueuedConnection);
    if (!app.InitInstance(tolvan::app::ParseCommandLine(args))) return app.HandedOver() ? 0 : 1;
    if (!grab.isEmpty() && app.MainFrame()) {
        QTimer::singleShot(500, &qt, [&] {
            app.MainFrame()->grab().save(grab);
            qt.quit();
        });
    }
    const int rc = qt.exec();
    app.ExitInstance();
    return rc;
}
