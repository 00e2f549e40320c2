#include "framework/document.h"

#include "framework/byte_stream.h"
#include "framework/doc_template.h"
#include "framework/framework_ui.h"
#include "framework/view.h"

#include <algorithm>
#include <functional>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace tfw {
namespace {

std::string FileNameOf(std::string_view path) {
    auto slash = path.find_last_of('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string DirectoryOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

namespace {
std::mutex g_posterMutex;
ViewThreadPoster g_viewPoster;
}  // namespace

void SetViewThreadPoster(ViewThreadPoster poster) {
    std::lock_guard lock(g_posterMutex);
    g_viewPoster = std::move(poster);
}

CDocument::CDocument() = default;

CDocument::~CDocument() {
    alive_.reset();
    DetachAllViews();
}

void CDocument::DetachAllViews() {
    // Copy first: a view may react by closing its window, which must not change our walk.
    std::vector<CView*> views;
    views.swap(views_);
    for (CView* v : views) v->document_ = nullptr;
    for (CView* v : views) v->OnDocumentClosing();
}

std::string CDocument::GetTitle() const {
    std::lock_guard lock(titleMutex_);
    return title_;
}

void CDocument::SetTitle(std::string_view title) {
    {
        std::lock_guard lock(titleMutex_);
        if (title_ == title) return;
        title_ = std::string(title);
    }
    // Frames show the title in their captions: they follow it at once, whoever set it.
    RunForViews([this] {
        std::vector<CView*> views = views_;
        for (CView* v : views) {
            if (std::find(views_.begin(), views_.end(), v) != views_.end()) v->OnTitleChanged();
        }
    });
}

void CDocument::SetPathName(std::string_view path, bool addToRecentFiles) {
    pathName_ = std::string(path);
    SetTitle(FileNameOf(path));
    auto& ui = TheFrameworkUi();
    if (addToRecentFiles && ui.addToRecentFiles) ui.addToRecentFiles(pathName_);
}

void CDocument::AddView(CView* view) {
    if (view == nullptr || view->document_ == this) return;
    if (view->document_ != nullptr) view->document_->RemoveView(view);
    views_.push_back(view);
    view->document_ = this;
    OnChangedViewList();
}

void CDocument::RemoveView(CView* view) {
    auto it = std::find(views_.begin(), views_.end(), view);
    if (it == views_.end()) return;
    views_.erase(it);
    view->document_ = nullptr;
    OnChangedViewList();  // may destroy this document
}

void CDocument::UpdateAllViews(CView* sender, long hint) {
    RunForViews([this, sender, hint] { UpdateViewsNow(sender, hint); });
}

void CDocument::RunForViews(std::function<void()> work) {
    ViewThreadPoster poster;
    {
        std::lock_guard lock(g_posterMutex);
        poster = g_viewPoster;
    }
    if (!poster) {
        work();
        return;
    }
    std::weak_ptr<const bool> alive = alive_;
    poster([alive, work = std::move(work)] {
        if (alive.lock()) work();
    });
}

void CDocument::UpdateViewsNow(CView* sender, long hint) {
    // A view may attach or detach views while updating; walk a copy and skip views gone.
    std::vector<CView*> views = views_;
    for (CView* v : views) {
        if (v == sender) continue;
        if (std::find(views_.begin(), views_.end(), v) == views_.end()) continue;
        v->OnUpdate(sender, hint);
    }
}

void CDocument::OnChangedViewList() {
    if (views_.empty() && autoDelete_ && !closing_) OnCloseDocument();
}

unsigned long CDocument::ExternalRelease() {
    if (refCount_ == 0) return 0;
    unsigned long left = --refCount_;
    // Only the framework's own reference is left (or none): nobody holds a window-less
    // document any more.
    if (left == 0 || (left == 1 && views_.empty())) {
        OnFinalRelease();
    }
    return left;
}

void CDocument::OnFinalRelease() {
    OnCloseDocument();
}

bool CDocument::OnNewDocument() {
    DeleteContents();
    SetModifiedFlag(false);
    pathName_.clear();
    return true;
}

void CDocument::Serialize(CArchive&) {}

bool CDocument::OnOpenDocument(const std::string& path) {
    lastFileError_.clear();
    FileStream file;
    if (!file.Open(path, FileStream::Mode::Read)) {
        lastFileError_ = "Cannot open " + path + ": " + std::strerror(file.LastErrno());
        ReportFrameworkError(lastFileError_);
        return false;
    }
    DeleteContents();
    CArchive ar(static_cast<ByteSource&>(file));
    Serialize(ar);
    if (!ar.Ok()) {
        lastFileError_ = "Cannot read " + path + ": " + ArchiveStatusText(ar.Status());
        DeleteContents();
        ReportFrameworkError(lastFileError_);
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

bool CDocument::OnSaveDocument(const std::string& path) {
    lastFileError_.clear();
    // Write beside the target and rename over it: a failed save keeps the old file whole.
    std::string tmp =
        DirectoryOf(path) + "/." + FileNameOf(path) + ".saving-" + std::to_string(::getpid());
    bool ok = false;
    {
        FileStream file;
        if (!file.Open(tmp, FileStream::Mode::Write)) {
            lastFileError_ = "Cannot create " + path + ": " + std::strerror(file.LastErrno());
        } else {
            CArchive ar(static_cast<ByteSink&>(file));
            Serialize(ar);
            ok = ar.Flush() && file.Sync() && file.Close();
            if (!ok) {
                lastFileError_ =
                    "Cannot write " + path + ": " +
                    (ar.Ok() ? std::strerror(file.LastErrno()) : ArchiveStatusText(ar.Status()));
            }
        }
    }
    if (ok && std::rename(tmp.c_str(), path.c_str()) != 0) {
        lastFileError_ = "Cannot replace " + path + ": " + std::strerror(errno);
        ok = false;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        ReportFrameworkError(lastFileError_);
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

void CDocument::OnCloseDocument() {
    if (closing_) return;
    closing_ = true;
    DetachAllViews();
    bool autoDelete = autoDelete_;
    DeleteContents();
    closing_ = false;
    if (autoDelete && template_ != nullptr) template_->DestroyDocument(this);  // destroys this
}

bool CDocument::CanCloseFrame(bool lastFrame) {
    if (!lastFrame) return true;
    return SaveModified();
}

bool CDocument::SaveModified() {
    if (!IsModified()) return true;
    auto& ui = TheFrameworkUi();
    SaveAnswer answer = ui.askSaveChanges ? ui.askSaveChanges(*this) : SaveAnswer::Discard;
    switch (answer) {
        case SaveAnswer::Cancel:
            return false;
        case SaveAnswer::Discard:
            return true;
        case SaveAnswer::Save:
            return DoSave();
    }
    return false;
}

bool CDocument::DoSave(std::string_view path) {
    std::string target(path.empty() ? std::string_view(pathName_) : path);
    if (target.empty()) {
        auto& ui = TheFrameworkUi();
        if (!ui.askSavePath) return false;
        auto chosen = ui.askSavePath(*this);
        if (!chosen || chosen->empty()) return false;
        target = *chosen;
    }
    if (!OnSaveDocument(target)) return false;
    SetPathName(target);
    return true;
}

}  // namespace tfw
