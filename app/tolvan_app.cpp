#include "app/tolvan_app.h"

#include "app/app_strings.h"
#include "app/channel_commands.h"
#include "app/command_ids.h"
#include "app/comm_doc_source.h"
#include "app/comm_doc_template.h"
#include "app/desktop_registration.h"
#include "app/dlg_list_channels.h"
#include "app/frame_main.h"
#include "app/mdi_frame_bar.h"
#include "app/mdi_frame_splitter.h"
#include "app/phone_list_template.h"
#include "app/printer_setup.h"
#include "app/qt_message_box.h"
#include "app/save_path_dialog.h"
#include "app/single_instance.h"
#include "app/view_buffer_info.h"
#include "app/view_comm.h"
#include "app/window_thread_posters.h"
#include "channels/doc_comm.h"
#include "channels/doc_ir.h"
#include "channels/doc_modem.h"
#include "channels/file_transfer.h"
#include "framework/doc_manager.h"
#include "framework/document.h"
#include "framework/framework_ui.h"
#include "framework/string_table.h"
#include "framework/view.h"
#include "platform/device_map.h"
#include "platform/message_box.h"
#include "platform/server_lock.h"
#include "platform/sim_modem.h"
#include "ports/shared_port.h"
#include "setup/records/comm_param.h"
#include "setup/ps_select_port.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <chrono>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace tolvan::app {

namespace {
// Channel templates in the order File New offers them: resource id (= menu bar id) and
// document class; the automation class has the same position.
struct ChannelType {
    unsigned resourceId;
    const tfw::DocumentClass& (*documentClass)();
};
constexpr ChannelType kChannelTypes[tdbus::kChannelClassCount] = {
    {3, &CDocComm::Class},
    {4, &CDocModem::Class},
    {6, &CDocIR::Class},
};
constexpr int kIdleWatchMs = 250;
constexpr int kIdleServiceMs = 5;
}  // namespace

// A channel lent to clients. Mirrors the client references onto the document; when the
// last goes, the document closes unless the user gave it a window.
class CAppComm::Hosted : public tdbus::HostedChannel {
public:
    Hosted(CAppComm& app, CDocComm& doc) : app_(app), doc_(doc) {}
    tfw::DispatchTarget& Target() override { return doc_; }
    void AddRef() override {
        ++refs_;
        doc_.AddRef();
    }
    void Release() override {
        const bool last = --refs_ == 0;
        doc_.Release();                     // may destroy the document
        if (last) app_.ForgetHosted(this);  // destroys this
    }
    CDocComm& Document() const { return doc_; }

private:
    CAppComm& app_;
    CDocComm& doc_;
    int refs_ = 1;
};

CAppComm::CAppComm() {
    idleWatch_.setInterval(kIdleWatchMs);
    idleService_.setInterval(kIdleServiceMs);
    connect(&idleWatch_, &QTimer::timeout, this, [this] { UpdateIdleTimer(); });
    connect(&idleService_, &QTimer::timeout, this, [this] {
        registry_.IdleService();
        UpdateIdleTimer();
    });
}

CAppComm::~CAppComm() {
    ExitInstance();
}

bool CAppComm::InitInstance(const CommandLine& line, const InitOptions& options) {
    line_ = line;
    automation_ = line.automation;
    initialised_ = true;
    strings_ = RegisterAppStrings();
    InstallUi();
    // Client calls run on the automation server's workers: their view updates and the last
    // releases of their channels come to this thread.
    posters_ = std::make_unique<WindowThreadPosters>();

    // The profile first: its [Ports] section says which COM numbers stand for which device.
    profile_.Load(line.profilePath);
    plat::RegisterSimulatedModem("modem");
    plat::DeviceMap::Configure(profile_.GetSection("Ports"));
    if (const char* root = std::getenv("TOLVAN32_DEVICE_ROOT"); root && *root)
        plat::DeviceMap::SetDeviceRoot(root);
    for (const auto& a : plat::DeviceMap::AssignNewDevices()) RecordAssignment(a.com, a.target);
    // Where a user chooses a port, the page names the device behind each COM number.
    CPSSelectPort::SetDeviceNamer([](int com) {
        const std::optional<std::string> target = plat::DeviceMap::Lookup(com);
        return target ? QString::fromStdString(*target) : QString();
    });
    // Devices slow to open (radio links) must not hold up the window: the probe runs on
    // its own thread, and a connect meanwhile waits for it.
    registry_.StartProbe([this] {
        QMetaObject::invokeMethod(
            this, [this] { PortsKnown(); }, Qt::QueuedConnection);
    });
    CDocComm::SetPortRegistry(&registry_);
    StartDeviceDiscovery();

    recent_.ReadList(profile_);
    LoadCommSettings(profile_, *DLLGetCommParam(), log_);

    for (int i = 0; i < tdbus::kChannelClassCount; ++i) {
        const ChannelType& type = kChannelTypes[i];
        auto tmpl = std::make_unique<CCommDocTemplate>(type.resourceId, type.documentClass(),
                                                       std::string(AppString(type.resourceId)));
        tmpl->SetFrameFactory(
            [this](tfw::CDocTemplate&, tfw::CDocument& doc) { return CreateChannelWindow(doc); });
        classTemplates_[i] = tmpl.get();
        tfw::TheDocManager().AddDocTemplate(std::move(tmpl));
    }
    channelTemplate_ = classTemplates_[0];
    // Phone lists: no class factory; their windows go into the main frame made below.
    tfw::TheDocManager().AddDocTemplate(MakePhoneListTemplate([this] { return frame_.get(); }));

    if (!automation_ && !ClaimOrHandOver(line, options)) return false;

    // The first run has no configuration folder yet: made now, so that the line parameters
    // and recent files of this run are kept; the window says so when it cannot be made.
    if (!profile_.MakeFolder()) profileProblem_ = profile_.LastError();

    server_ = std::make_unique<tdbus::AutomationServer>(*this);
    QString busError;
    const bool onBus = server_->Start(options.busAddress, &busError);
    if (onBus) {
        transferSink_.emplace(server_->MakeTransferSink());
        connect(server_.get(), &tdbus::AutomationServer::LastObjectReleased, this,
                [this] { QuitWhenIdle(); });
    } else {
        std::fprintf(stderr, "tolvan32: automation not available: %s\n", qPrintable(busError));
        if (automation_) return false;  // a hidden server without clients has no use
    }

    terminals_.Open(profile_.GetSection("Terminals"), *channelTemplate_);

    frame_ = std::make_unique<CFrameMain>();
    SetMessageBoxOwner(frame_.get());
    frame_->SetApplicationTarget(this);
    frame_->SetNewWindowFactory([this](CMDIChildFrame& active) { return NewWindow(active); });
    frame_->SetCloseGuard([this] { return CanExit(); });
    QStringList recent;
    for (const std::string& path : recent_.Items()) recent << QString::fromStdString(path);
    frame_->SetRecentFiles(recent);

    if (automation_) {
        QApplication::setQuitOnLastWindowClosed(false);
        idleWatch_.start();
        return true;
    }

    if (options.registerDesktop) {
        std::string error;
        const std::string program = QCoreApplication::applicationFilePath().toStdString();
        if (!RegisterWithDesktop(program, line.profilePath, {}, &error))
            std::fprintf(stderr, "tolvan32: %s\n", error.c_str());
    }

    if (line.document.empty())
        FileNew();
    else
        OpenStartDocument(line.document);

    frame_->DragAcceptFiles(true);
    connect(frame_.get(), &CFrameMain::filesDropped, this, [this](const QStringList& paths) {
        for (const QString& path : paths) OpenStartDocument(path.toStdString());
    });
    frame_->resize(800, 560);
    if (options.showWindow) frame_->show();
    if (!profileProblem_.empty()) {
        // Told once the window is up, so that the box stands on it.
        QTimer::singleShot(0, this, [this] { TellProfileProblem(profileProblem_); });
    }
    idleWatch_.start();
    return true;
}

bool CAppComm::ClaimOrHandOver(const CommandLine& line, const InitOptions& options) {
    // A second start: the running server opens the document and comes forward.
    auto instance = std::make_unique<SingleInstance>([this](const QString& path) {
        if (path.isEmpty())
            FileNew();
        else
            OpenStartDocument(path.toStdString());
        if (frame_) {
            frame_->show();
            frame_->raise();
            frame_->activateWindow();
        }
    });
    // A server that is just leaving gives up the name between the two steps: try again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        switch (instance->Claim(options.busAddress)) {
            case SingleInstance::ClaimResult::Claimed:
                instance_ = std::move(instance);
                return true;
            case SingleInstance::ClaimResult::NoBus:
                return true;  // no session bus: a server of its own, as nobody can share it
            case SingleInstance::ClaimResult::Taken:
                break;
        }
        // The running server has a folder of its own: a relative path is made whole here.
        QString path = QString::fromStdString(line.document);
        if (!path.isEmpty()) path = QFileInfo(path).absoluteFilePath();
        switch (SingleInstance::HandOver(path, options.busAddress)) {
            case SingleInstance::HandOverResult::Delivered:
                handedOver_ = true;  // the running server owns the profile: not saved
                return false;
            case SingleInstance::HandOverResult::NoAnswer:
                secondStart_ = true;
                std::fprintf(stderr, "tolvan32: a server runs already but does not answer\n");
                return false;
            case SingleInstance::HandOverResult::NoServer:
                break;
        }
    }
    secondStart_ = true;
    std::fprintf(stderr, "tolvan32: another server holds the name Tolvan32.App\n");
    return false;
}

void CAppComm::QuitWhenIdle() {
    // Terminal channels serve programs that are no clients of ours; a client that came
    // meanwhile keeps the server too.
    if (!automation_ || !terminals_.Empty() || !server_ || server_->ObjectCount() > 0) return;
    if (IsXModemReceptionRunning() || !WaitForXModemThreads(std::chrono::milliseconds(0))) {
        // Looked at again shortly: only while a reception runs, which ends by itself.
        QTimer::singleShot(50, this, [this] { QuitWhenIdle(); });
        return;
    }
    Q_EMIT QuitRequested();
}

bool CAppComm::CanExit() {
    // Every modified document is asked about; Cancel keeps the program as it was.
    if (!automation_ && !tfw::TheDocManager().SaveAllModified()) return false;
    // The settings are written while the window is still there to say that they could not be.
    if (!SaveSettings()) TellProfileProblem(profile_.LastError());
    return true;
}

bool CAppComm::SaveSettings() {
    SaveCommSettings(profile_, *DLLGetCommParam(), log_);
    recent_.WriteList(profile_);
    return profile_.Save();
}

void CAppComm::TellProfileProblem(const std::string& why) {
    if (automation_ || !frame_) {
        std::fprintf(stderr, "tolvan32: cannot save the settings to %s: %s\n",
                     profile_.GetPath().c_str(), why.c_str());
        return;
    }
    ShowQtMessageBox("The settings cannot be kept in " + profile_.GetPath() + ":\n" + why +
                         "\n\nThe line parameters and the recent files of this session will be "
                         "lost at exit.",
                     {}, plat::MB_OK | plat::MB_ICONEXCLAMATION);
}

CMDIChildFrame* CAppComm::NewWindow(CMDIChildFrame& active) {
    tfw::CDocument* document = nullptr;
    for (tfw::CDocument* doc : tfw::TheDocManager().GetDocuments())
        for (tfw::CView* view : doc->GetViews())
            if (auto* w = dynamic_cast<QWidget*>(view); w && ParentChildFrame(w) == &active)
                document = doc;
    if (!document) return nullptr;
    // Both kinds of window add themselves to the main window.
    const auto before = frame_->MdiArea()->subWindowList();
    if (dynamic_cast<CDocComm*>(document)) {
        if (!CreateChannelWindow(*document)) return nullptr;
    } else if (!CreatePhoneListWindow(*frame_, *document)) {
        return nullptr;
    }
    for (QMdiSubWindow* w : frame_->MdiArea()->subWindowList())
        if (!before.contains(w)) return qobject_cast<CMDIChildFrame*>(w);
    return nullptr;
}

void CAppComm::InstallUi() {
    tfw::FrameworkUi& ui = tfw::TheFrameworkUi();
    ui.addToRecentFiles = [this](const std::string& path) { AddRecent(path); };
    if (automation_) {
        messageBoxHook_.emplace(nullptr);  // never blocks: nobody would see the box
        ui.showError = [](const std::string& message) {
            std::fprintf(stderr, "tolvan32: %s\n", message.c_str());
        };
    } else {
        messageBoxHook_.emplace(&ShowQtMessageBox);
        ui.showError = [](const std::string& message) {
            ShowQtMessageBox(message, {}, plat::MB_OK | plat::MB_ICONEXCLAMATION);
        };
        ui.askSaveChanges = [](tfw::CDocument& document) {
            const std::string& name =
                document.GetPathName().empty() ? document.GetTitle() : document.GetPathName();
            switch (plat::ShowMessageBox("Save changes to " + name + "?", {},
                                         plat::MB_YESNOCANCEL | plat::MB_ICONEXCLAMATION)) {
                case plat::IDYES:
                    return tfw::SaveAnswer::Save;
                case plat::IDNO:
                    return tfw::SaveAnswer::Discard;
                default:
                    return tfw::SaveAnswer::Cancel;
            }
        };
        ui.askSavePath = [this](tfw::CDocument& document) {
            return AskSavePath(frame_.get(), document);
        };
    }
}

void CAppComm::ExitInstance() {
    if (!initialised_ || exited_) return;
    exited_ = true;
    discovery_.reset();  // no more numbers for the profile, no port changes from now on
    idleWatch_.stop();
    idleService_.stop();

    // A second start leaves the profile to the running server.
    if (!handedOver_ && !secondStart_ && !SaveSettings())
        std::fprintf(stderr, "tolvan32: cannot save the profile %s: %s\n",
                     profile_.GetPath().c_str(), profile_.LastError().c_str());

    // Clients may still hold channels: the server forgets them before they go.
    if (server_)
        for (auto& [key, hosted] : hosted_) server_->ChannelDestroyed(hosted.get());
    StopChannelLanes();
    transferSink_.reset();
    hosted_.clear();
    terminals_.Close();
    instance_.reset();
    SetMessageBoxOwner(nullptr);
    frame_.reset();  // the windows go first; their channels close with them
    tfw::TheDocManager().RemoveAllTemplates();
    channelTemplate_ = nullptr;
    for (CCommDocTemplate*& tmpl : classTemplates_) tmpl = nullptr;
    server_.reset();
    CDocComm::SetPortRegistry(nullptr);
    CPSSelectPort::SetDeviceNamer({});
    messageBoxHook_.reset();
    tfw::TheFrameworkUi() = {};
    posters_.reset();
}

void CAppComm::RecordAssignment(int com, const std::string& target) {
    profile_.WriteString("Ports", "COM" + std::to_string(com), target);
    if (!profile_.Save())
        std::fprintf(stderr, "tolvan32: cannot save the profile %s\n", profile_.GetPath().c_str());
}

void CAppComm::StartDeviceDiscovery() {
    PortDiscovery::Hooks hooks;
    // The profile belongs to this thread.
    hooks.assigned = [this](int com, const std::string& target) {
        QMetaObject::invokeMethod(
            this,
            [this, com, target] {
                if (!exited_) RecordAssignment(com, target);
            },
            Qt::QueuedConnection);
    };
    hooks.portsChanged = [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!exited_ && frame_) frame_->RequestCommandUIUpdate();
            },
            Qt::QueuedConnection);
    };
    discovery_ = std::make_unique<PortDiscovery>(registry_, std::move(hooks));
    if (!discovery_->Start()) {
        std::fprintf(stderr, "tolvan32: devices plugged in later are not seen (no inotify)\n");
        discovery_.reset();
    }
}

std::vector<tfw::CDocument*> CAppComm::Channels() const {
    std::vector<tfw::CDocument*> out;
    for (tfw::CDocTemplate* tmpl : tfw::TheDocManager().GetTemplates()) {
        if (!dynamic_cast<CCommDocTemplate*>(tmpl)) continue;
        for (tfw::CDocument* doc : tmpl->GetDocuments()) out.push_back(doc);
    }
    return out;
}

void CAppComm::ShowChannelList() {
    const std::vector<tfw::CDocument*> channels = Channels();
    QStringList titles;
    {
        plat::ServerLockGuard lock;
        for (tfw::CDocument* doc : channels) {
            QString title = QString::fromStdString(doc->GetTitle());
            // A channel whose device is unplugged is still connected: the list says so.
            auto* comm = dynamic_cast<CDocComm*>(doc);
            if (comm && comm->Port() && comm->Port()->DeviceLost()) title += " - gone";
            titles << title;
        }
    }
    CDlgListChannels dialog(titles, frame_.get());
    if (dialog.exec() != QDialog::Accepted) return;
    const int chosen = dialog.Chosen();
    if (chosen < 0 || chosen >= static_cast<int>(channels.size())) return;
    // The dialog ran an event loop: the channel may have gone meanwhile.
    for (tfw::CDocument* doc : Channels())
        if (doc == channels[chosen]) ShowChannel(*doc);
}

bool CAppComm::ShowChannel(tfw::CDocument& channel) {
    for (tfw::CView* view : channel.GetViews()) {
        auto* widget = dynamic_cast<QWidget*>(view);
        if (CMDIChildFrame* frame = widget ? ParentChildFrame(widget) : nullptr) {
            if (!frame->isVisible()) frame->show();
            frame_->ActivateFrame(frame);
            return true;
        }
    }
    auto* tmpl = dynamic_cast<CCommDocTemplate*>(channel.GetDocTemplate());
    return tmpl && tmpl->CreateChannelFrame(channel);
}

int CAppComm::HideChannel(tfw::CDocument& channel) {
    auto* tmpl = dynamic_cast<CCommDocTemplate*>(channel.GetDocTemplate());
    if (!tmpl || !channel.HasClients()) return 0;
    const int hidden = tmpl->HideChannelFrames(channel);
    if (frame_) frame_->RequestCommandUIUpdate();
    return hidden;
}

bool CAppComm::CreateChannelWindow(tfw::CDocument& document) {
    auto* channel = dynamic_cast<CDocComm*>(&document);
    if (!channel || !frame_) return false;
    auto* source = new CommDocSource(*channel);
    const tfw::CDocTemplate* tmpl = document.GetDocTemplate();
    const int menuId = tmpl ? static_cast<int>(tmpl->GetResourceId()) : menu::Channel;
    auto* frame = new CMDIFrameSplitter(source, menuId);
    // Made a child last, the source outlives the views that read it.
    source->setParent(frame);
    ChannelCommandContext context;
    context.mainWindow = frame_.get();
    context.hideChannel = [this](CDocComm& doc) {
        // The window running this command goes away: hide once the command has returned.
        tfw::CDocument* target = &doc;
        QMetaObject::invokeMethod(
            this,
            [this, target] {
                for (tfw::CDocument* open : Channels())
                    if (open == target) HideChannel(*open);
            },
            Qt::QueuedConnection);
    };
    context.stateChanged = [this] {
        if (frame_) frame_->RequestCommandUIUpdate();
    };
    context.runOnLane = [this](CDocComm& doc, std::function<void()> work,
                               std::function<void()> done) {
        RunOnChannelLane(doc, std::move(work), std::move(done));
    };
    frame->SetDocumentTarget(CreateChannelCommands(*channel, std::move(context), frame));
    frame->SetCloseGuard([channel] { return channel->CanCloseFrame(true); });
    document.AddView(frame->CommView());
    document.AddView(frame->InfoView());
    frame->setWindowTitle(QString::fromStdString(document.GetTitle()));
    frame_->AddChildFrame(frame);
    frame->InitialUpdateFrame();
    return true;
}

void CAppComm::RunOnChannelLane(CDocComm& channel, std::function<void()> work,
                                std::function<void()> done) {
    if (!laneReturn_) laneReturn_ = std::make_unique<QObject>();
    // Held like a client holds it, so that the channel outlives the work even when its
    // windows and clients go meanwhile; released here, after `done`.
    channel.AddRef();
    CDocComm* doc = &channel;
    QObject* back = laneReturn_.get();
    auto task = [doc, back, work = std::move(work), done = std::move(done)]() mutable {
        work();
        QMetaObject::invokeMethod(
            back,
            [doc, done = std::move(done)] {
                if (done) done();
                doc->Release();
            },
            Qt::QueuedConnection);
    };
    if (server_ && server_->IsRunning() && server_->PostWindowWork(doc, task)) return;
    if (!ownLanes_) ownLanes_ = std::make_unique<tdbus::CallQueue>(tdbus::kCallWorkers);
    const std::string lane = "window " + std::to_string(reinterpret_cast<std::uintptr_t>(doc));
    if (ownLanes_->Post(lane, std::move(task))) return;
    channel.Release();  // stopping: the work is dropped
}

void CAppComm::StopChannelLanes() {
    // The work under way ends first (it may wait on a device for its time-out); what it
    // hands back afterwards is dropped with laneReturn_. Documents held for it stay held:
    // they go with their templates.
    if (server_) server_->Stop();
    if (ownLanes_) ownLanes_->Shutdown();
    laneReturn_.reset();
}

tdbus::HostedChannel* CAppComm::CreateChannel(tdbus::ChannelClass cls) {
    CCommDocTemplate* tmpl = TemplateOf(cls);
    if (!tmpl) return nullptr;
    auto* doc = dynamic_cast<CDocComm*>(tmpl->OpenDocumentFile(nullptr, false));
    if (!doc) return nullptr;
    doc->AddRef();  // the client's first reference
    auto hosted = std::make_unique<Hosted>(*this, *doc);
    Hosted* raw = hosted.get();
    hosted_.emplace(raw, std::move(hosted));
    return raw;
}

bool CAppComm::WhenPortsKnown(std::function<void()> then) {
    if (!registry_.Probing()) return true;
    // The probe's end is posted to this thread after Probing() turned false: it finds the
    // callback stored.
    portsKnown_.push_back(std::move(then));
    return false;
}

void CAppComm::PortsKnown() {
    std::vector<std::function<void()>> waiting;
    waiting.swap(portsKnown_);
    for (auto& then : waiting) then();
}

std::vector<tdbus::PortSummary> CAppComm::DescribePorts() {
    // The ports found so far: ListPorts asks only once the start-up probe has ended
    // (WhenPortsKnown), and the window never waits for a device.
    plat::ServerLockGuard lock;
    std::vector<tdbus::PortSummary> out;
    for (const auto& port : registry_.Ports()) {
        tdbus::PortSummary p;
        p.number = port->PortNumber();
        p.open = port->IsOpen();
        p.device = p.open ? port->DeviceTarget()
                          : plat::DeviceMap::Lookup(p.number).value_or(std::string());
        for (PortClient* client : port->Channels())
            if (auto* doc = dynamic_cast<tfw::CDocument*>(client))
                p.channels.push_back(doc->GetTitle());
        out.push_back(std::move(p));
    }
    // The start-up probe and the device watcher may find ports in either order.
    std::sort(out.begin(), out.end(), [](const tdbus::PortSummary& a, const tdbus::PortSummary& b) {
        return a.number < b.number;
    });
    return out;
}

std::vector<tdbus::ChannelSummary> CAppComm::DescribeChannels() {
    plat::ServerLockGuard lock;
    std::vector<tdbus::ChannelSummary> out;
    for (tfw::CDocument* doc : Channels()) {
        tdbus::ChannelSummary c;
        c.title = doc->GetTitle();
        if (dynamic_cast<CDocModem*>(doc))
            c.cls = tdbus::ChannelClass::Modem;
        else if (dynamic_cast<CDocIR*>(doc))
            c.cls = tdbus::ChannelClass::InfraRed;
        if (auto* comm = dynamic_cast<CDocComm*>(doc); comm && comm->Port())
            c.port = comm->Port()->PortNumber();
        c.window = !doc->GetViews().empty();
        for (const auto& [key, hosted] : hosted_)
            if (&hosted->Document() == doc) c.hosted = hosted.get();
        out.push_back(std::move(c));
    }
    return out;
}

CCommDocTemplate* CAppComm::TemplateOf(tdbus::ChannelClass cls) const {
    const int index = static_cast<int>(cls);
    return index >= 0 && index < tdbus::kChannelClassCount ? classTemplates_[index] : nullptr;
}

void CAppComm::ForgetHosted(Hosted* hosted) {
    hosted_.erase(hosted);
}

void CAppComm::OpenStartDocument(const std::string& path) {
    WaitCursor busy;
    tfw::TheDocManager().OpenDocumentFile(path);  // a failure is reported; start-up goes on
}

void CAppComm::FileNew() {
    std::vector<tfw::CDocTemplate*> templates = tfw::TheDocManager().GetTemplates();
    if (templates.empty()) return;
    tfw::CDocTemplate* chosen = templates.front();
    // At start-up (no window yet) and with one type the first type is made without asking.
    if (templates.size() > 1 && frame_ && frame_->isVisible()) {
        QStringList names;
        for (tfw::CDocTemplate* tmpl : templates)
            names << QString::fromStdString(tmpl->GetDocString(tfw::CDocTemplate::fileNewName));
        bool ok = false;
        const QString name = QInputDialog::getItem(frame_.get(), QStringLiteral("New"),
                                                   QStringLiteral("New"), names, 0, false, &ok);
        if (!ok) return;
        chosen = templates[names.indexOf(name)];
    }
    chosen->OpenDocumentFile(nullptr, true);
}

void CAppComm::FileOpen() {
    QStringList filters;
    for (tfw::CDocTemplate* tmpl : tfw::TheDocManager().GetTemplates()) {
        const std::string name = tmpl->GetDocString(tfw::CDocTemplate::filterName);
        if (!name.empty()) filters << QString::fromStdString(name);
    }
    filters << QStringLiteral("All Files (*)");
    const QString path =
        QFileDialog::getOpenFileName(frame_.get(), QStringLiteral("Open"), {}, filters.join(";;"));
    if (!path.isEmpty()) OpenStartDocument(path.toStdString());
}

void CAppComm::OpenRecent(int index) {
    if (index < 0 || index >= static_cast<int>(recent_.Items().size())) return;
    const std::string path = recent_.Items()[index];
    bool opened = false;
    {
        WaitCursor busy;
        opened = tfw::TheDocManager().OpenDocumentFile(path) != nullptr;
    }
    if (!opened) {
        recent_.Remove(index);  // a file that cannot be opened leaves the list
        QStringList recent;
        for (const std::string& p : recent_.Items()) recent << QString::fromStdString(p);
        if (frame_) frame_->SetRecentFiles(recent);
    }
}

void CAppComm::AddRecent(const std::string& path) {
    recent_.Add(path);
    QStringList recent;
    for (const std::string& p : recent_.Items()) recent << QString::fromStdString(p);
    if (frame_) frame_->SetRecentFiles(recent);
}

void CAppComm::UpdateIdleTimer() {
    if (registry_.NeedsIdleService()) {
        if (!idleService_.isActive()) idleService_.start();
    } else {
        idleService_.stop();
    }
}

bool CAppComm::UpdateCommand(int id, CommandState& state) {
    switch (id) {
        case cmd::FileNew:
        case cmd::FileOpen:
        case cmd::FilePrintSetup:
        case cmd::ShowChannels:
            state.enabled = true;
            return true;
        default:
            if (id >= cmd::FileMru1 && id < cmd::FileMru1 + 4) {
                state.enabled = id - cmd::FileMru1 < static_cast<int>(recent_.Items().size());
                return true;
            }
            return false;
    }
}

bool CAppComm::ExecuteCommand(int id) {
    switch (id) {
        case cmd::FileNew:
            FileNew();
            return true;
        case cmd::FileOpen:
            FileOpen();
            return true;
        case cmd::FilePrintSetup:
            RunPrintSetup(frame_.get());
            return true;
        case cmd::ShowChannels:
            ShowChannelList();
            return true;
        default:
            if (id >= cmd::FileMru1 && id < cmd::FileMru1 + 4) {
                OpenRecent(id - cmd::FileMru1);
                return true;
            }
            return false;
    }
}

}  // namespace tolvan::app
