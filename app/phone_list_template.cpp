#include "app/phone_list_template.h"

#include "app/command_ids.h"
#include "app/frame_main.h"
#include "app/mdi_frame_bar.h"
#include "app/save_path_dialog.h"
#include "app/view_phone_list.h"
#include "framework/framework_ui.h"
#include "setup/dial_list.h"
#include "setup/dial_page_strings.h"
#include "setup/library_strings.h"
#include "setup/page_message_box.h"

#include <optional>
#include <string>

namespace tolvan::app {

namespace {

// The document commands of a phone-list window.
class PhoneListTarget : public QObject, public CommandTarget {
public:
    PhoneListTarget(CMDIFrameBar& frame, tfw::CDocument& document)
        : QObject(&frame), frame_(frame), document_(document) {}

    bool UpdateCommand(int id, CommandState& state) override {
        if (id != cmd::FileSave && id != cmd::FileSaveAs && id != cmd::FileClose) return false;
        state.enabled = true;
        return true;
    }

    bool ExecuteCommand(int id) override {
        switch (id) {
            case cmd::FileSave:
                Save();
                return true;
            case cmd::FileSaveAs:
                SaveAs();
                return true;
            case cmd::FileClose:
                frame_.close();
                return true;
            default:
                return false;
        }
    }

    // Asked before the window closes: a modified list is offered for saving (Yes, No,
    // Cancel); Cancel, or a save that did not happen, keeps the window.
    bool CanClose() {
        if (!document_.IsModified()) return true;
        if (tfw::TheFrameworkUi().askSaveChanges) return document_.CanCloseFrame(true);
        QString name = QString::fromLocal8Bit(document_.GetPathName().c_str());
        if (name.isEmpty()) name = QString::fromLocal8Bit(document_.GetTitle().c_str());
        const int answer = kerdal::ShowPageMessage(
            &frame_, QString::fromLatin1(kerdal::dial_strings::kAskToSave).arg(name),
            kerdal::MessageIcon::Question, kerdal::MessageButtons::YesNoCancel);
        if (answer == kerdal::kIdNo) return true;
        return answer == kerdal::kIdYes && Save();
    }

private:
    bool Save() { return document_.GetPathName().empty() ? SaveAs() : document_.DoSave(); }

    bool SaveAs() {
        // The type's extension is added to a name typed without one, so that the file opens
        // as a phone list again; an untitled list is offered its own name.
        const std::optional<std::string> path = AskSavePath(&frame_, document_);
        if (!path || !document_.DoSave(*path)) return false;
        frame_.setWindowTitle(QString::fromLocal8Bit(document_.GetTitle().c_str()));
        return true;
    }

    CMDIFrameBar& frame_;
    tfw::CDocument& document_;
};

}  // namespace

std::unique_ptr<tfw::CDocTemplate> MakePhoneListTemplate(std::function<CFrameMain*()> mainFrame) {
    auto tmpl = std::make_unique<tfw::CDocTemplate>(kIdsDialListTemplate, classCDocDialList);
    tmpl->SetFrameFactory(
        [mainFrame = std::move(mainFrame)](tfw::CDocTemplate&, tfw::CDocument& doc) {
            CFrameMain* main = mainFrame ? mainFrame() : nullptr;
            return main && CreatePhoneListWindow(*main, doc) != nullptr;
        });
    return tmpl;
}

CMDIFrameBar* CreatePhoneListWindow(CFrameMain& main, tfw::CDocument& document) {
    if (!dynamic_cast<CDocDialList*>(&document)) return nullptr;
    auto* view = new CViewPhoneList;
    auto* frame = new CMDIFrameBar(view, menu::PhoneList);
    auto* target = new PhoneListTarget(*frame, document);
    frame->SetDocumentTarget(target);
    frame->SetCloseGuard([target] { return target->CanClose(); });
    document.AddView(view);
    frame->setWindowTitle(QString::fromLocal8Bit(document.GetTitle().c_str()));
    main.AddChildFrame(frame);
    view->OnInitialUpdate();
    return frame;
}

}  // namespace tolvan::app
