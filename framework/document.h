// The document: data with a title, a path, a modified flag and the views that show it.
//
// Ownership: a document made by a CDocTemplate is owned by that template and destroyed by
// it when the document closes with automatic deletion on (the default). A document made
// directly by its class's factory belongs to its maker; closing it then only empties it.
//
// Automation references: the count starts at 1, the framework's own reference; every client
// reference adds one, so a count above 1 means a client holds the document. When a client
// releases and only the framework's reference is left while no view shows the document, it
// closes (OnFinalRelease). A class factory that makes a document for a client therefore adds
// the client's reference (ExternalAddRef) right after the template made it. The last view going
// away closes the document too (while automatic deletion is on); a document that must outlive its
// views while clients hold it overrides OnCloseDocument and switches automatic deletion off around
// the base call.
//
// Not thread-safe: callers serialise access (the UI thread, or the server lock). Three
// things may be used from any thread: the title (read and set under a lock of its own), the
// reference count (atomic), and UpdateAllViews, which reaches the views on their own thread
// (see SetViewThreadPoster).
#pragma once

#include "framework/archive.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tfw {

class CDocTemplate;
class CView;

// Views are widgets of the window thread. The application installs a poster that runs a
// function on that thread: at once when called there, queued otherwise. With one
// installed, UpdateAllViews from another thread (automation workers, a file transfer)
// hands the update to it, and the update is dropped when the document is gone by the time
// it runs. Without one, views are updated on the caller's thread.
using ViewThreadPoster = std::function<void(std::function<void()> fn)>;
void SetViewThreadPoster(ViewThreadPoster poster);

class CDocument {
public:
    CDocument(const CDocument&) = delete;
    CDocument& operator=(const CDocument&) = delete;
    // Views still attached are detached (they are told through OnDocumentClosing).
    virtual ~CDocument();

    // Title shown in the window caption; virtual so documents can compose their own.
    std::string GetTitle() const;
    virtual void SetTitle(std::string_view title);
    // Full path of the file the document was loaded from or saved to; empty if none.
    // Setting it also sets the title to the file name and enters the path in the recent files.
    const std::string& GetPathName() const { return pathName_; }
    virtual void SetPathName(std::string_view path, bool addToRecentFiles = true);
    void ClearPathName() { pathName_.clear(); }

    bool IsModified() const { return modified_; }
    void SetModifiedFlag(bool modified = true) { modified_ = modified; }

    CDocTemplate* GetDocTemplate() const { return template_; }

    // Views.
    void AddView(CView* view);
    void RemoveView(CView* view);
    const std::vector<CView*>& GetViews() const { return views_; }
    bool HasViews() const { return !views_.empty(); }
    // Calls OnUpdate(sender, hint) on every view except sender, on the views' thread.
    void UpdateAllViews(CView* sender, long hint = 0);

    // Automatic deletion when the document closes.
    bool GetAutoDelete() const { return autoDelete_; }
    void SetAutoDelete(bool autoDelete) { autoDelete_ = autoDelete; }

    // Automation reference count (see the header comment).
    unsigned long GetRefCount() const { return refCount_.load(); }
    bool HasClients() const { return refCount_.load() > 1; }
    unsigned long ExternalAddRef() { return ++refCount_; }
    // Returns the new count. The document may be destroyed by this call: do not touch it
    // afterwards unless the result is above 1 or it has views.
    unsigned long ExternalRelease();

    // Life cycle; a false result means failure (already reported to the user).
    // New document: empties the contents and clears the modified flag.
    virtual bool OnNewDocument();
    // Loads the file through Serialize into the (emptied) document. On failure the contents
    // are emptied again and the open fails.
    virtual bool OnOpenDocument(const std::string& path);
    // Stores through Serialize into a new file beside path, then puts it in place, so a
    // failed save leaves an existing file untouched. Clears the modified flag on success.
    virtual bool OnSaveDocument(const std::string& path);
    // Tells the views, empties the contents and, with automatic deletion on, has the template
    // destroy the document: do not touch the document after calling this.
    virtual void OnCloseDocument();
    // Removes the contents. The base removes nothing.
    virtual void DeleteContents() {}
    // Stores into or loads from the archive (ar.IsStoring()). The base does nothing.
    virtual void Serialize(CArchive& ar);

    // May the frame showing the document close? lastFrame: no other frame shows it.
    // The base asks to save changes when it is the last frame.
    virtual bool CanCloseFrame(bool lastFrame);
    // Modified document: asks the user (Save / Discard / Cancel) and saves when asked to.
    virtual bool SaveModified();
    // Saves to path, or to the current path, or asks for one (Save As) when there is none.
    bool DoSave(std::string_view path = {});
    // Called when the view list changed; the base closes the document when its last view
    // went away and automatic deletion is on.
    virtual void OnChangedViewList();
    // The last client reference went; the base closes the document.
    virtual void OnFinalRelease();

    // Result of the last file operation: empty after success, else what went wrong.
    const std::string& LastFileError() const { return lastFileError_; }

protected:
    CDocument();

private:
    friend class CDocTemplate;
    void DetachAllViews();
    void UpdateViewsNow(CView* sender, long hint);
    // Runs work on the views' thread: now, or queued there through the view poster (and
    // dropped when this document is gone by then).
    void RunForViews(std::function<void()> work);

    mutable std::mutex titleMutex_;
    std::string title_;
    std::string pathName_;
    bool modified_ = false;
    bool autoDelete_ = true;
    bool closing_ = false;
    std::atomic<unsigned long> refCount_{1};
    // Expires when the document goes: updates posted to the views' thread check it.
    std::shared_ptr<const bool> alive_ = std::make_shared<const bool>(true);
    CDocTemplate* template_ = nullptr;
    std::vector<CView*> views_;
    std::string lastFileError_;
};

}  // namespace tfw
