#include "app/save_path_dialog.h"

#include "framework/doc_template.h"
#include "framework/document.h"

#include <QFileDialog>
#include <QStringList>

namespace tolvan::app {

namespace {

std::string TemplateString(const tfw::CDocument& document,
                           tfw::CDocTemplate::DocStringIndex index) {
    const tfw::CDocTemplate* tmpl = document.GetDocTemplate();
    return tmpl ? tmpl->GetDocString(index) : std::string();
}

}  // namespace

std::string SuggestedSaveName(const tfw::CDocument& document) {
    if (!document.GetPathName().empty()) return document.GetPathName();
    std::string name = document.GetTitle();
    if (const auto blank = name.rfind(' '); blank != std::string::npos) name.erase(0, blank + 1);
    const std::string ext = TemplateString(document, tfw::CDocTemplate::filterExt);
    if (!name.empty() && !ext.empty() &&
        (name.size() < ext.size() || name.compare(name.size() - ext.size(), ext.size(), ext) != 0))
        name += ext;
    return name;
}

std::optional<std::string> AskSavePath(QWidget* parent, const tfw::CDocument& document) {
    QFileDialog dialog(parent, QStringLiteral("Save As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    QStringList filters;
    if (const std::string filter = TemplateString(document, tfw::CDocTemplate::filterName);
        !filter.empty())
        filters << QString::fromLocal8Bit(filter.c_str());
    filters << QStringLiteral("All Files (*)");
    dialog.setNameFilters(filters);
    const std::string ext = TemplateString(document, tfw::CDocTemplate::filterExt);
    if (ext.size() > 1 && ext.front() == '.')
        dialog.setDefaultSuffix(QString::fromLocal8Bit(ext.c_str() + 1));
    dialog.selectFile(QString::fromLocal8Bit(SuggestedSaveName(document).c_str()));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const std::string path = dialog.selectedFiles().front().toLocal8Bit().toStdString();
    if (path.empty()) return std::nullopt;
    return path;
}

}  // namespace tolvan::app
