#include "framework/doc_manager.h"

#include "framework/document.h"

#include <climits>
#include <cstdlib>

namespace tfw {

CDocManager::~CDocManager() {
    RemoveAllTemplates();
}

void CDocManager::RemoveAllTemplates() {
    while (!templates_.empty()) templates_.pop_back();
}

CDocTemplate& CDocManager::AddDocTemplate(std::unique_ptr<CDocTemplate> tmpl) {
    templates_.push_back(std::move(tmpl));
    return *templates_.back();
}

std::vector<CDocTemplate*> CDocManager::GetTemplates() const {
    std::vector<CDocTemplate*> out;
    for (const auto& t : templates_) out.push_back(t.get());
    return out;
}

CDocTemplate* CDocManager::FindTemplateForPath(std::string_view path) const {
    for (const auto& t : templates_)
        if (t->MatchesExtension(path)) return t.get();
    return nullptr;
}

CDocTemplate* CDocManager::FindTemplateByDocName(std::string_view name) const {
    for (const auto& t : templates_)
        if (t->GetDocString(CDocTemplate::docName) == name) return t.get();
    return nullptr;
}

CDocTemplate* CDocManager::FindTemplateOf(const CDocument* document) const {
    for (const auto& t : templates_)
        if (t->Owns(document)) return t.get();
    return nullptr;
}

namespace {
std::string Canonical(const std::string& path) {
    char buf[PATH_MAX];
    if (::realpath(path.c_str(), buf) != nullptr) return buf;
    return path;
}
}  // namespace

CDocument* CDocManager::OpenDocumentFile(const std::string& path) {
    std::string canonical = Canonical(path);
    for (CDocument* d : GetDocuments())
        if (!d->GetPathName().empty() && Canonical(d->GetPathName()) == canonical) return d;
    CDocTemplate* t = FindTemplateForPath(path);
    if (t == nullptr) t = templates_.empty() ? nullptr : templates_.front().get();
    if (t == nullptr) return nullptr;
    return t->OpenDocumentFile(path.c_str(), true);
}

std::vector<CDocument*> CDocManager::GetDocuments() const {
    std::vector<CDocument*> out;
    for (const auto& t : templates_)
        for (CDocument* d : t->GetDocuments()) out.push_back(d);
    return out;
}

std::size_t CDocManager::GetOpenDocumentCount() const {
    std::size_t n = 0;
    for (const auto& t : templates_) n += t->GetDocumentCount();
    return n;
}

bool CDocManager::SaveAllModified() {
    for (CDocument* d : GetDocuments()) {
        // A question runs a nested event loop: a document of the list may have gone meanwhile
        // (a client released its channel).
        if (FindTemplateOf(d) == nullptr) continue;
        if (!d->SaveModified()) return false;
    }
    return true;
}

void CDocManager::CloseAllDocuments() {
    for (const auto& t : templates_) {
        // Closing may delete documents; take them one at a time from a fresh list.
        for (CDocument* d : t->GetDocuments()) {
            if (!t->Owns(d)) continue;
            d->SetAutoDelete(true);
            d->OnCloseDocument();
        }
    }
}

CDocManager& TheDocManager() {
    static CDocManager manager;
    return manager;
}

}  // namespace tfw
