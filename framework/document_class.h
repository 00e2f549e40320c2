// Runtime-class record of a document class: the name it is created by and a factory, so a
// document template (or a library's host) can make documents of classes it does not know.
#pragma once

#include <memory>

namespace tfw {

class CDocument;

struct DocumentClass {
    const char* className;  // e.g. "CDocDialList"
    unsigned schema;        // serialization schema number (0xFFFF: none)
    std::unique_ptr<CDocument> (*createObject)();
};

}  // namespace tfw
