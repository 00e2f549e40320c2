// CAppComm: the server application. Start-up in the order the program needs it (profile,
// device map and port registry, line parameters, templates, automation server, main window,
// desktop registration, first document), the application's commands (File New / Open,
// Print Setup, recent files, the list of channels), the client channels that live without a
// window, and the orderly exit.
//
//   QApplication qt(argc, argv);
//   CAppComm app;
//   if (!app.InitInstance(ParseCommandLine(args))) return 1;
//   int rc = qt.exec();
//   app.ExitInstance();
//
// In the automation mode the main window stays hidden and the program quits when the last
// client object is released, unless the profile made terminal channels ([Terminals]).
#pragma once

#include "app/command_line.h"
#include "app/command_target.h"
#include "app/comm_settings.h"
#include "app/terminal_channels.h"
#include "automation/automation_server.h"
#include "automation/channel_host.h"
#include "framework/profile.h"
#include "framework/recent_files.h"
#include "channels/file_transfer.h"
#include "platform/message_box.h"
#include "ports/port_discovery.h"
#include "ports/port_registry.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace tfw {
class CDocument;
class StringRegistration;
}  // namespace tfw

namespace tolvan {
class CDocComm;
}

namespace tolvan::app {

class CCommDocTemplate;
class CFrameMain;
class CMDIChildFrame;
class SingleInstance;
class WindowThreadPosters;

struct InitOptions {
    QString busAddress;           // empty: the session bus
    bool registerDesktop = true;  // desktop entry, MIME types, activation files (user mode)
    bool showWindow = true;       // user mode shows the main window (tests may not)
};

class CAppComm : public QObject, public CommandTarget, public tdbus::ChannelHost {
    Q_OBJECT
public:
    CAppComm();
    ~CAppComm() override;  // ExitInstance when it has not run

    // False when the program cannot run (automation mode without a bus, no main window).
    bool InitInstance(const CommandLine& line, const InitOptions& options = {});
    // Saves the line parameters and the recent files, closes every channel, leaves the bus.
    void ExitInstance();

    bool IsAutomationMode() const { return automation_; }
    // A server was running already and took this start's document: nothing more to do.
    bool HandedOver() const { return handedOver_; }
    // A server was running already but did not take the document: this start ends, failed.
    bool SecondStart() const { return secondStart_; }
    SingleInstance* Instance() const { return instance_.get(); }
    CFrameMain* MainFrame() const { return frame_.get(); }
    tdbus::AutomationServer* Server() const { return server_.get(); }
    PortRegistry& Registry() { return registry_; }
    tfw::CProfile& Profile() { return profile_; }
    CCommDocTemplate* ChannelTemplate() const { return channelTemplate_; }
    // The template of an automation class (plain, modem, infra-red channels).
    CCommDocTemplate* TemplateOf(tdbus::ChannelClass cls) const;
    const CommLogFile& LogFile() const { return log_; }
    // The channels of the profile's [Terminals] section.
    const TerminalChannels& Terminals() const { return terminals_; }

    // Every channel of every channel template, template order (the list of channels).
    std::vector<tfw::CDocument*> Channels() const;
    // "&Channels...": the dialog, then ShowChannel of the chosen one.
    void ShowChannelList();
    // Activates the channel's window, or makes one when it has none. False when no window
    // could be made.
    bool ShowChannel(tfw::CDocument& channel);
    // Window > Hide: the channel's windows go, the channel stays (only while a client holds it).
    int HideChannel(tfw::CDocument& channel);

    // Application commands: File New / Open, Print Setup, Channels, recent files.
    bool UpdateCommand(int id, CommandState& state) override;
    bool ExecuteCommand(int id) override;

    // The automation server's channels: invisible, titled "RiVo32" + counter.
    tdbus::HostedChannel* CreateChannel(tdbus::ChannelClass cls) override;
    // The registry's ports and every channel, for the server's lists.
    std::vector<tdbus::PortSummary> DescribePorts() override;
    std::vector<tdbus::ChannelSummary> DescribeChannels() override;
    bool WhenPortsKnown(std::function<void()> then) override;

Q_SIGNALS:
    // The automation mode's end: the last client object went.
    void QuitRequested();

private:
    // The start-up probe has ended: the answers that waited for it go out.
    void PortsKnown();
    class Hosted;
    friend class Hosted;

    // The single-instance name: claimed, or the document handed to the server that holds
    // it. False when this process must not go on as a server.
    bool ClaimOrHandOver(const CommandLine& line, const InitOptions& options);
    // The main window is closing: every modified document is asked about; false on Cancel.
    bool CanExit();
    // A hidden server ends when no client holds a channel, no terminal channel is open and
    // no reception is still running (its thread keeps its channel alive to the end).
    void QuitWhenIdle();
    // Line parameters and recent files into the profile, written; false when it failed.
    bool SaveSettings();
    void TellProfileProblem(const std::string& why);
    // Window > New Window: another window of the active window's document.
    CMDIChildFrame* NewWindow(CMDIChildFrame& active);
    bool CreateChannelWindow(tfw::CDocument& document);
    // The window's work on a channel that waits on its device: on the channel's lane (the
    // automation server's workers, or ours when the server does not run), `done` back here.
    void RunOnChannelLane(CDocComm& channel, std::function<void()> work,
                          std::function<void()> done);
    void StopChannelLanes();
    void ForgetHosted(Hosted* hosted);
    void OpenStartDocument(const std::string& path);
    void FileNew();
    void FileOpen();
    void OpenRecent(int index);
    void AddRecent(const std::string& path);
    void UpdateIdleTimer();
    void InstallUi();
    // Numbers the device map gave: into the profile's [Ports] section, saved at once.
    void RecordAssignment(int com, const std::string& target);
    void StartDeviceDiscovery();

    bool initialised_ = false;
    bool exited_ = false;
    bool automation_ = false;
    bool handedOver_ = false;
    bool secondStart_ = false;    // another server holds the name and did not take over
    std::string profileProblem_;  // why the profile's folder could not be made
    CommandLine line_;
    tfw::CProfile profile_;
    tfw::CRecentFileList recent_{4};
    CommLogFile log_;
    PortRegistry registry_;
    // ListPorts answers waiting for the start-up probe's end (window thread).
    std::vector<std::function<void()>> portsKnown_;
    // Devices that come and go while running (stopped before the registry goes).
    std::unique_ptr<PortDiscovery> discovery_;
    std::unique_ptr<tfw::StringRegistration> strings_;
    std::unique_ptr<WindowThreadPosters> posters_;
    std::optional<plat::ScopedMessageBoxHook> messageBoxHook_;
    std::optional<ScopedXferProgressSink> transferSink_;
    CCommDocTemplate* channelTemplate_ = nullptr;
    CCommDocTemplate* classTemplates_[tdbus::kChannelClassCount] = {};
    std::unique_ptr<CFrameMain> frame_;
    std::unique_ptr<tdbus::AutomationServer> server_;
    // Lanes for the window's work when no server runs (no bus).
    std::unique_ptr<tdbus::CallQueue> ownLanes_;
    // What the lanes' work hands back to this thread goes through this object: gone at
    // exit, it drops what comes later.
    std::unique_ptr<QObject> laneReturn_;
    std::map<Hosted*, std::unique_ptr<Hosted>> hosted_;
    TerminalChannels terminals_;
    std::unique_ptr<SingleInstance> instance_;
    // Infra-red links need servicing while open: the watch notices an open one cheaply,
    // the service timer runs only then.
    QTimer idleWatch_;
    QTimer idleService_;
};

}  // namespace tolvan::app
