#include "app/comm_doc_template.h"

#include "app/mdi_child_frame.h"
#include "framework/document.h"
#include "framework/framework_ui.h"
#include "framework/view.h"

#include <QWidget>

#include <vector>

namespace tolvan::app {

namespace {
constexpr const char* kCreateFailed = "Failed to create empty document.";

// Switches a document's automatic deletion off for a scope: windows of the channel may come
// and go without the channel being destroyed with its last view.
class KeepDocument {
public:
    explicit KeepDocument(tfw::CDocument& doc) : doc_(doc), was_(doc.GetAutoDelete()) {
        doc_.SetAutoDelete(false);
    }
    ~KeepDocument() { doc_.SetAutoDelete(was_); }
    KeepDocument(const KeepDocument&) = delete;
    KeepDocument& operator=(const KeepDocument&) = delete;

private:
    tfw::CDocument& doc_;
    bool was_;
};
}  // namespace

tfw::CDocument* CCommDocTemplate::OpenDocumentFile(const char* path, bool makeVisible) {
    // The base makes and loads the document; the window is ours, so it gets no factory run.
    tfw::CDocument* doc = tfw::CDocTemplate::OpenDocumentFile(path, false);
    if (!doc) return nullptr;
    if (!path && makeVisible && !doc->OnNewDocument()) {
        DestroyDocument(doc);
        return nullptr;
    }
    if (makeVisible && !CreateChannelFrame(*doc)) {
        DestroyDocument(doc);
        return nullptr;
    }
    return doc;
}

bool CCommDocTemplate::CreateChannelFrame(tfw::CDocument& channel) {
    bool made = false;
    {
        KeepDocument keep(channel);
        made = CreateFrame(channel) && channel.HasViews();
    }
    if (!made) tfw::ReportFrameworkError(kCreateFailed);
    return made;
}

int CCommDocTemplate::HideChannelFrames(tfw::CDocument& channel) {
    std::vector<CMDIChildFrame*> frames;
    for (tfw::CView* view : channel.GetViews()) {
        auto* widget = dynamic_cast<QWidget*>(view);
        CMDIChildFrame* frame = widget ? ParentChildFrame(widget) : nullptr;
        if (!frame) continue;
        bool known = false;
        for (CMDIChildFrame* f : frames) known = known || f == frame;
        if (!known) frames.push_back(frame);
    }
    KeepDocument keep(channel);
    for (CMDIChildFrame* frame : frames) delete frame;  // the views detach as they go
    return static_cast<int>(frames.size());
}

}  // namespace tolvan::app
