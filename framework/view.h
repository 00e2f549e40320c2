// A view shows one document. Views are toolkit objects (the application's widgets implement
// this interface); the document only knows them through it. A view is attached with
// CDocument::AddView and detaches itself when destroyed.
#pragma once

namespace tfw {

class CDocument;

class CView {
public:
    CView() = default;
    CView(const CView&) = delete;
    CView& operator=(const CView&) = delete;
    // Removes the view from its document, which may close and delete the document when
    // this was its last view (see CDocument::OnChangedViewList).
    virtual ~CView();

    CDocument* GetDocument() const { return document_; }

    // The document changed. sender is the view that caused it (it usually needs no update),
    // or null; hint tells what changed (0 = everything). Called on the thread that changed the
    // document: a toolkit view that must repaint on its own thread queues the work there.
    virtual void OnUpdate(CView* sender, long hint) = 0;
    // The document's title changed; a view whose frame shows it refreshes the caption.
    // Called on the views' thread, like OnUpdate.
    virtual void OnTitleChanged() {}
    // Called once the view is attached and its window exists; by default a full update.
    virtual void OnInitialUpdate() { OnUpdate(nullptr, 0); }
    // The document is closing and is about to be destroyed: the view has already been
    // detached (GetDocument() is null) and should close its window.
    virtual void OnDocumentClosing() {}

private:
    friend class CDocument;
    CDocument* document_ = nullptr;
};

}  // namespace tfw
