// The phone list: an ordered list of dial entries (a comment naming the entry, the string to
// dial, line parameters and duplex mode), kept as a document and stored as a ".lst" text file
// (see dial_list_format.h). The document owns its entries; positions are 0-based, no gaps.
#pragma once

#include "setup/kerdal32_export.h"
#include "framework/archive.h"
#include "framework/document.h"
#include "framework/document_class.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct tagDialEntry {
    std::string strComment;     // name of the entry; entries are found by it
    std::string strDialString;  // the number or string to dial
    std::int32_t lBaudRate = 9600;
    char chParity = 'N';  // 'O', 'E', 'N', 'M' or 'S'
    std::int32_t nWordLen = 8;
    std::int32_t nStopBits = 1;
    char chDuplex = 'F';  // 'F' full duplex, 'H' half duplex

    bool operator==(const tagDialEntry&) const = default;
};

class KERDAL32_API CDocDialList : public tfw::CDocument {
public:
    // Runtime class: documents are made through it (the constructor is protected).
    static std::unique_ptr<tfw::CDocument> CreateObject();
    ~CDocDialList() override;

    int GetListSize() const { return static_cast<int>(entries_.size()); }
    // The entry at index, valid until it is deleted or the document destroyed; null for a
    // position outside the list.
    const tagDialEntry* GetNode(int index) const;

    // Edits copy the caller's fields and set the modified flag. Positions outside the list
    // (InsertNode: outside 0..size) and null entries are ignored.
    void AddNode(const tagDialEntry* entry);
    void InsertNode(int index, const tagDialEntry* entry);
    void SetNode(int index, const tagDialEntry* entry);
    // Deletes the entries at the count positions listed, as the list was before the call:
    // any order, a position listed twice deleted once, positions outside the list ignored.
    // The rest close up in their old order.
    void DeleteNode(int count, const int* indices);

    // The seven fields joined by TAB: comment, dial string, baud, parity, word length, stop
    // bits, duplex. Leaves text unchanged for a position outside the list.
    void GetFullText(unsigned index, std::string& text) const;
    // Position of the first entry whose comment equals comment exactly, or -1.
    int GetIndexOfComment(const std::string& comment) const;
    // Sets dialString to the dial string of the first entry with that comment; unchanged
    // when there is none.
    void GetNumberOfComment(const std::string& comment, std::string& dialString) const;

    // Stores the list as ".lst" text, or appends the entries of a ".lst" text to the list.
    void Serialize(tfw::CArchive& ar) override;

protected:
    CDocDialList();

private:
    std::vector<std::unique_ptr<tagDialEntry>> entries_;
};

// The runtime-class record (class name "CDocDialList", schema 0), for the host's template.
extern KERDAL32_API const tfw::DocumentClass classCDocDialList;
