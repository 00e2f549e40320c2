// A document template ties a document class to its resource id and template string (seven
// newline-separated fields) and keeps the list of its open documents, which it owns, and the
// counter that numbers untitled documents.
#pragma once

#include "framework/document_class.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tfw {

class CDocument;

class CDocTemplate {
public:
    enum DocStringIndex {
        windowTitle = 0,      // caption of the main window for a single-document program
        docName = 1,          // base of untitled names ("RiVo32" gives "RiVo321")
        fileNewName = 2,      // shown when File New offers several types
        filterName = 3,       // e.g. "Phone List Files (*.lst)"
        filterExt = 4,        // e.g. ".lst"
        regFileTypeId = 5,    // e.g. "RuVido.Document"
        regFileTypeName = 6,  // e.g. "Phone List Document"
    };

    // Builds the document's window; false when no window could be made. Set by the
    // application for templates whose documents are shown; none means "no window".
    using FrameFactory = std::function<bool(CDocTemplate& tmpl, CDocument& document)>;

    // The template string is loaded from the string table by resourceId.
    CDocTemplate(unsigned resourceId, const DocumentClass& documentClass);
    // With the template string given directly.
    CDocTemplate(unsigned resourceId, const DocumentClass& documentClass,
                 std::string templateString);
    CDocTemplate(const CDocTemplate&) = delete;
    CDocTemplate& operator=(const CDocTemplate&) = delete;
    // Destroys the documents still open (their views are told first).
    virtual ~CDocTemplate();

    unsigned GetResourceId() const { return resourceId_; }
    const DocumentClass& GetDocumentClass() const { return class_; }
    const std::string& GetTemplateString() const { return templateString_; }
    // One field of the template string; false (and out empty) when it is missing or empty.
    bool GetDocString(std::string& out, DocStringIndex index) const;
    std::string GetDocString(DocStringIndex index) const;
    // Does path end with this template's extension (without regard to case)?
    bool MatchesExtension(std::string_view path) const;

    // Untitled counter: how many new documents were numbered so far.
    unsigned GetUntitledCount() const { return untitledCount_; }
    void SetUntitledCount(unsigned count) { untitledCount_ = count; }

    // Open documents, oldest first.
    std::vector<CDocument*> GetDocuments() const;
    std::size_t GetDocumentCount() const { return documents_.size(); }
    bool Owns(const CDocument* document) const;

    // Makes a document of the class and adds it to the list; null when the factory fails.
    CDocument* CreateNewDocument();
    // Destroys one of this template's documents (detaching its views first).
    void DestroyDocument(CDocument* document);

    // The untitled name of the next new document: the document name followed by the
    // untitled counter plus 1, or "Untitled" without a document name.
    std::string NextUntitledTitle() const;
    void SetDefaultTitle(CDocument& document) const;

    // Without path: a new document titled NextUntitledTitle(); with makeVisible its
    // OnNewDocument runs. The counter goes up in both cases.
    // With path: the document loads the file (OnOpenDocument) and takes the path.
    // With makeVisible the frame factory builds its window. Any failure destroys the new
    // document and returns null.
    virtual CDocument* OpenDocumentFile(const char* path, bool makeVisible = true);

    void SetFrameFactory(FrameFactory factory) { frameFactory_ = std::move(factory); }
    // Runs the frame factory for document (true when there is none).
    bool CreateFrame(CDocument& document);

private:
    unsigned resourceId_;
    DocumentClass class_;
    std::string templateString_;
    unsigned untitledCount_ = 0;
    std::vector<std::unique_ptr<CDocument>> documents_;
    FrameFactory frameFactory_;
};

}  // namespace tfw
