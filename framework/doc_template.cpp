#include "framework/doc_template.h"

#include "framework/document.h"
#include "framework/framework_ui.h"
#include "framework/string_table.h"

#include <algorithm>
#include <cctype>

namespace tfw {

CDocTemplate::CDocTemplate(unsigned resourceId, const DocumentClass& documentClass)
    : CDocTemplate(resourceId, documentClass, LoadString(resourceId)) {}

CDocTemplate::CDocTemplate(unsigned resourceId, const DocumentClass& documentClass,
                           std::string templateString)
    : resourceId_(resourceId), class_(documentClass), templateString_(std::move(templateString)) {}

CDocTemplate::~CDocTemplate() {
    // Newest first, each told to let go of its views before it goes.
    while (!documents_.empty()) {
        std::unique_ptr<CDocument> doc = std::move(documents_.back());
        documents_.pop_back();
        doc->template_ = nullptr;
        doc->DetachAllViews();
    }
}

bool CDocTemplate::GetDocString(std::string& out, DocStringIndex index) const {
    out.clear();
    std::size_t start = 0;
    for (int i = 0; i < index; ++i) {
        start = templateString_.find('\n', start);
        if (start == std::string::npos) return false;
        ++start;
    }
    std::size_t end = templateString_.find('\n', start);
    out = templateString_.substr(start, end == std::string::npos ? std::string::npos : end - start);
    return !out.empty();
}

std::string CDocTemplate::GetDocString(DocStringIndex index) const {
    std::string s;
    GetDocString(s, index);
    return s;
}

bool CDocTemplate::MatchesExtension(std::string_view path) const {
    std::string ext = GetDocString(filterExt);
    if (ext.empty() || path.size() < ext.size()) return false;
    std::string_view tail = path.substr(path.size() - ext.size());
    return std::equal(tail.begin(), tail.end(), ext.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
}

std::vector<CDocument*> CDocTemplate::GetDocuments() const {
    std::vector<CDocument*> out;
    out.reserve(documents_.size());
    for (const auto& d : documents_) out.push_back(d.get());
    return out;
}

bool CDocTemplate::Owns(const CDocument* document) const {
    return std::any_of(documents_.begin(), documents_.end(),
                       [document](const auto& d) { return d.get() == document; });
}

CDocument* CDocTemplate::CreateNewDocument() {
    if (class_.createObject == nullptr) return nullptr;
    std::unique_ptr<CDocument> doc = class_.createObject();
    if (!doc) return nullptr;
    doc->template_ = this;
    documents_.push_back(std::move(doc));
    return documents_.back().get();
}

void CDocTemplate::DestroyDocument(CDocument* document) {
    auto it = std::find_if(documents_.begin(), documents_.end(),
                           [document](const auto& d) { return d.get() == document; });
    if (it == documents_.end()) return;
    std::unique_ptr<CDocument> doc = std::move(*it);
    documents_.erase(it);
    doc->template_ = nullptr;
    doc->DetachAllViews();
    // doc is destroyed here, after it left the list.
}

std::string CDocTemplate::NextUntitledTitle() const {
    std::string name = GetDocString(docName);
    if (name.empty()) return "Untitled";
    return name + std::to_string(untitledCount_ + 1);
}

void CDocTemplate::SetDefaultTitle(CDocument& document) const {
    document.SetTitle(NextUntitledTitle());
}

bool CDocTemplate::CreateFrame(CDocument& document) {
    if (!frameFactory_) return true;
    return frameFactory_(*this, document);
}

CDocument* CDocTemplate::OpenDocumentFile(const char* path, bool makeVisible) {
    CDocument* doc = CreateNewDocument();
    if (doc == nullptr) {
        ReportFrameworkError("Failed to create an empty document.");
        return nullptr;
    }
    if (path == nullptr) {
        SetDefaultTitle(*doc);
        if (makeVisible && !doc->OnNewDocument()) {
            DestroyDocument(doc);
            return nullptr;
        }
        ++untitledCount_;
    } else {
        if (!doc->OnOpenDocument(path)) {
            DestroyDocument(doc);
            return nullptr;
        }
        doc->SetPathName(path);
    }
    if (makeVisible) {
        // The frame is built with automatic deletion off, so that a frame that fails half
        // way and drops its views does not delete the document under us.
        bool autoDelete = doc->GetAutoDelete();
        doc->SetAutoDelete(false);
        bool ok = CreateFrame(*doc);
        doc->SetAutoDelete(autoDelete);
        if (!ok) {
            ReportFrameworkError("Failed to create the document's window.");
            DestroyDocument(doc);
            return nullptr;
        }
    }
    return doc;
}

}  // namespace tfw
