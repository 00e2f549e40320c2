// The document manager: the program's document templates in the order they were added,
// and the operations that pick a template (by extension, by document name).
#pragma once

#include "framework/doc_template.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tfw {

class CDocument;

class CDocManager {
public:
    CDocManager() = default;
    CDocManager(const CDocManager&) = delete;
    CDocManager& operator=(const CDocManager&) = delete;
    ~CDocManager();  // destroys the templates, newest first, with their documents

    CDocTemplate& AddDocTemplate(std::unique_ptr<CDocTemplate> tmpl);
    std::vector<CDocTemplate*> GetTemplates() const;

    // The template whose extension the path has, or null.
    CDocTemplate* FindTemplateForPath(std::string_view path) const;
    // The template whose document name (field 1) is name, or null.
    CDocTemplate* FindTemplateByDocName(std::string_view name) const;
    // The template that owns document, or null.
    CDocTemplate* FindTemplateOf(const CDocument* document) const;

    // Opens a file with the template chosen by its extension. A file that is open already
    // is not loaded twice: its document is returned. Null on failure (reported).
    CDocument* OpenDocumentFile(const std::string& path);

    // Every open document of every template, template order.
    std::vector<CDocument*> GetDocuments() const;
    std::size_t GetOpenDocumentCount() const;

    // Asks every modified document to save; false when the user cancelled.
    bool SaveAllModified();
    // Closes every document (each is asked nothing).
    void CloseAllDocuments();
    // Destroys the templates, newest first, with every document they still hold. The
    // program calls this at exit before it destroys what documents refer to (ports): the
    // process-wide manager itself is destroyed only after main returns.
    void RemoveAllTemplates();

private:
    std::vector<std::unique_ptr<CDocTemplate>> templates_;
};

// The program's document manager.
CDocManager& TheDocManager();

}  // namespace tfw
