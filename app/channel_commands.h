// The commands of a channel's menu and the channel's setup sheet. One ChannelCommands is the
// document target of every window of a channel (app/command_target.h); the modem and
// infra-red channels use the subclasses of app/modem_commands.h and app/ir_commands.h,
// which replace the setup sheet pair and add commands. CreateChannelCommands picks the
// right one.
//
// Enable rules (connected = the channel is on a port; held = a client holds a reference,
// the reference count is above 1):
//   32775 Connect ............. not connected       32774 Settings ....... connected
//   32773 Send string ......... connected           32777 Buffer sizes ... connected
//   32784 Default sizes ....... always              32781 Close .......... connected
//   32779/32780 Clear rx/tx ... connected, not held 32782/32783 Read ..... connected, not held
//   32800 Receive XMODEM ...... connected, not held 32778 Hide ........... held
//   32787 Lock ................ connected, no other channel owns the lock
//   32788 Unlock .............. connected, this channel owns the lock
//
// Questions and failures are shown through the platform's message box hook
// (platform/message_box.h), so a test or a hidden server answers them.
//
// Every dialog runs a modal loop in which a client may release the channel and its window
// may go: a command checks that it is still alive before it touches the channel again.
//
// What waits on the device (connecting, setting the line, the modem's commands and files)
// runs on the channel's lane (ChannelCommandContext::runOnLane) with a progress window that
// blocks nothing: the window keeps working meanwhile. That work holds the channel and values
// only, never the target, whose window may go before it ends.
#pragma once

#include "app/command_target.h"
#include "app/lane_progress.h"
#include "setup/property_sheet.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CPSSettingsPort;

namespace tolvan {
class CDocComm;
}

namespace tolvan::app {

// What the commands need from the application.
struct ChannelCommandContext {
    QWidget* mainWindow = nullptr;               // owner of the sheets and dialogs
    std::function<void(CDocComm&)> hideChannel;  // 32778: the channel's windows go
    std::function<void()> stateChanged;          // menu enabling may have changed
    // Runs `work` off the window thread, on the channel's lane behind the window's earlier
    // work there, then `done` on the window thread; the channel stays alive meanwhile.
    // Unset (a target without an application): both run at once, on this thread.
    std::function<void(CDocComm&, std::function<void()> work, std::function<void()> done)>
        runOnLane;
};

// Modes of the setup sheet.
enum SetupMode : int {
    kSetupConnect = 0,   // port selection page first, then the channel's settings pages
    kSetupSettings = 1,  // the settings pages of a connected channel
};

// Where the parts of a sheet window are found (a sheet's page object names are their
// template ids; these are the sheet's own).
inline constexpr const char* kSetupSheetObjectName = "SetupSheet";
inline constexpr const char* kXModemFileDialogObjectName = "XModemFileDialog";

class ChannelCommands : public QObject, public CommandTarget {
    Q_OBJECT
public:
    ChannelCommands(CDocComm& channel, ChannelCommandContext context, QObject* parent = nullptr);
    ~ChannelCommands() override;

    bool UpdateCommand(int id, CommandState& state) override;
    bool ExecuteCommand(int id) override;

    // The setup sheet, built for `mode` with the caption of string `captionId`; its pages
    // belong to it. The caller shows it and calls ApplySetupSheet after OK.
    virtual std::unique_ptr<kerdal::PropertySheet> CreateSetupSheet(unsigned captionId,
                                                                    QWidget* parent, int mode);
    // What an accepted sheet asks for, made from its values on the window thread and carried
    // out later, anywhere: it holds no reference to the sheet or to this target.
    using SetupWork = std::function<std::int16_t()>;
    // The work of an accepted sheet: connects (mode 0) or sets the line (mode 1), makes the
    // port's actual settings the library's current parameters, applies the handshakes.
    // Failures are shown ("Connection failed", "Port setting failed"). The work's result:
    // 0 on success, else the failing status.
    virtual SetupWork PlanSetupSheet(kerdal::PropertySheet& sheet, int mode);
    // PlanSetupSheet carried out at once, on this thread.
    std::int16_t ApplySetupSheet(kerdal::PropertySheet& sheet, int mode) {
        return PlanSetupSheet(sheet, mode)();
    }
    // BeforeSetupSheet, then create, show modally and carry out on the lane when accepted.
    // False when the channel went meanwhile.
    bool RunSetupSheet(int mode);

    CDocComm& Channel() const { return channel_; }

protected:
    QWidget* MainWindow() const { return context_.mainWindow; }
    // After a modal loop: false when this target (and so the channel's window) went.
    static bool Alive(const QPointer<ChannelCommands>& self) { return !self.isNull(); }
    // A command's waiting part: `work` on the channel's lane with the progress window up,
    // then `done` here while this target still exists. `work` runs on another thread while
    // the window goes on: it may touch the channel and what it holds by value, never this
    // target. The flag given to `work` turns true when the user cancels (`cancellable`).
    void RunOnLane(const QString& label, bool cancellable,
                   std::function<void(const std::shared_ptr<std::atomic<bool>>& cancel)> work,
                   std::function<void()> done = {});
    // What the sheet needs from the device before it opens, read on the lane; then `open`
    // on the window thread. The base reads nothing and opens at once.
    virtual void BeforeSetupSheet(int mode, std::function<void()> open);
    // Work's reports of progress, from any thread, to the progress window.
    std::function<void(std::uint64_t, std::uint64_t)> ProgressReporter();
    // Runs fn on the window thread: now when called there (or without an application),
    // queued otherwise.
    static void OnWindowThread(std::function<void()> fn);
    // Steps of PlanSetupSheet that subclasses reuse. PlanLine connects (mode 0, port of the
    // selection page) or sets the line with the settings page's values, then stores the
    // current parameters; a failure is shown and returned. PlanHandshakes sets the page's
    // three handshakes; a failure is shown and returned.
    SetupWork PlanLine(kerdal::PropertySheet& sheet, const CPSSettingsPort& settings, int mode);
    SetupWork PlanHandshakes(const CPSSettingsPort& settings);
    // What PlanLine does once the values are known: `connect` to the port of the selection
    // page (mode 0; -2 when none is chosen) or `set` the line, then the same showing and
    // storing. For channels whose line is set by other calls. Both hold values only.
    SetupWork PlanConnection(kerdal::PropertySheet& sheet, int mode,
                             std::function<std::int16_t(std::int16_t port)> connect,
                             std::function<std::int16_t()> set);
    // The sheet's first page of type P, or null.
    template <class P>
    static P* FindPage(kerdal::PropertySheet& sheet) {
        for (int i = 0; i < sheet.GetPageCount(); ++i)
            if (auto* page = dynamic_cast<P*>(sheet.GetPage(i))) return page;
        return nullptr;
    }
    // "COM1,COM3": the ports the registry holds, for the port selection page.
    QString AvailablePortList() const;
    // The library's current parameters become the channel's port's actual settings
    // (nothing happens when they cannot be read). Any thread: the parameters are set on
    // the window thread.
    static void StoreCurrentParameters(CDocComm& channel);
    // A message box of a string of the program's table; returns the answer (plat::ID*).
    static int Message(unsigned stringId, std::uint32_t flags);
    void StateChanged() const;

    bool Connected() const;
    bool Held() const;

private:
    bool ShowSetupSheet(int mode);
    void SendString();
    void EditBufferSizes();
    void EditDefaultSizes();
    void ClearBuffer(bool receive);
    void CloseConnection();
    void ReadBytes();
    void ReadString();
    void Lock(bool lock);
    void ReceiveXModem();
    bool LockedByOther() const;
    bool OwnsLock() const;

    CDocComm& channel_;
    ChannelCommandContext context_;
    LaneProgress progress_;
};

// The command target for a channel's windows: the modem or infra-red set for those
// channels, the plain set otherwise. The target belongs to `parent`.
ChannelCommands* CreateChannelCommands(CDocComm& channel, ChannelCommandContext context,
                                       QObject* parent);

}  // namespace tolvan::app
