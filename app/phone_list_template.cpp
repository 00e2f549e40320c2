#include "app/phone_list_template.h"

#include "app/command_ids.h"
#include "app/frame_main.h"
#include "app/mdi_frame_bar.h"
#include "app/view_phone_list.h"
#include "setup/dial_list.h"
#include "setup/library_strings.h"

#include <QFileDialog>

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
                if (document_.GetPathName().empty())
                    SaveAs();
                else
                    document_.DoSave();
                return true;
            case cmd::FileSaveAs: SaveAs(); return true;
            case cmd::FileClose: frame_.close(); return true;
            default: return false;
        }
    }

private:
    void SaveAs() {
        const QString path = QFileDialog::getSaveFileName(
            &frame_, QStringLiteral("Save As"), QString::fromLocal8Bit(document_.GetPathName().c_str()),
            QString::fromLocal8Bit(document_.GetDocTemplate()
                                       ? document_.GetDocTemplate()->GetDocString(tfw::CDocTemplate::filterName).c_str()
                                       : ""));
        if (path.isEmpty()) return;
        if (document_.DoSave(path.toLocal8Bit().toStdString()))
            frame_.setWindowTitle(QString::fromLocal8Bit(document_.GetTitle().c_str()));
    }

    CMDIFrameBar& frame_;
    tfw::CDocument& document_;
};

}  // namespace

std::unique_ptr<tfw::CDocTemplate> MakePhoneListTemplate(std::function<CFrameMain*()> mainFrame) {
    auto tmpl = std::make_unique<tfw::CDocTemplate>(kIdsDialListTemplate, classCDocDialList);
    tmpl->SetFrameFactory([mainFrame = std::move(mainFrame)](tfw::CDocTemplate&, tfw::CDocument& doc) {
        CFrameMain* main = mainFrame ? mainFrame() : nullptr;
        return main && CreatePhoneListWindow(*main, doc) != nullptr;
    });
    return tmpl;
}

CMDIFrameBar* CreatePhoneListWindow(CFrameMain& main, tfw::CDocument& document) {
    if (!dynamic_cast<CDocDialList*>(&document)) return nullptr;
    auto* view = new CViewPhoneList;
    auto* frame = new CMDIFrameBar(view, menu::PhoneList);
    frame->SetDocumentTarget(new PhoneListTarget(*frame, document));
    tfw::CDocument* doc = &document;
    frame->SetCloseGuard([doc] { return doc->CanCloseFrame(true); });
    document.AddView(view);
    frame->setWindowTitle(QString::fromLocal8Bit(document.GetTitle().c_str()));
    main.AddChildFrame(frame);
    view->OnInitialUpdate();
    return frame;
}

}  // namespace tolvan::app
