#include "setup/dial_list.h"

#include "setup/dial_list_format.h"

#include <algorithm>

const tfw::DocumentClass classCDocDialList{"CDocDialList", 0, &CDocDialList::CreateObject};

CDocDialList::CDocDialList() = default;
CDocDialList::~CDocDialList() = default;

std::unique_ptr<tfw::CDocument> CDocDialList::CreateObject() {
    return std::unique_ptr<tfw::CDocument>(new CDocDialList());
}

const tagDialEntry* CDocDialList::GetNode(int index) const {
    if (index < 0 || index >= GetListSize()) return nullptr;
    return entries_[static_cast<std::size_t>(index)].get();
}

void CDocDialList::AddNode(const tagDialEntry* entry) {
    if (entry == nullptr) return;
    entries_.push_back(std::make_unique<tagDialEntry>(*entry));
    SetModifiedFlag();
}

void CDocDialList::InsertNode(int index, const tagDialEntry* entry) {
    if (entry == nullptr || index < 0 || index > GetListSize()) return;
    entries_.insert(entries_.begin() + index, std::make_unique<tagDialEntry>(*entry));
    SetModifiedFlag();
}

void CDocDialList::SetNode(int index, const tagDialEntry* entry) {
    if (entry == nullptr || index < 0 || index >= GetListSize()) return;
    *entries_[static_cast<std::size_t>(index)] = *entry;
    SetModifiedFlag();
}

void CDocDialList::DeleteNode(int count, const int* indices) {
    std::vector<bool> doomed(entries_.size(), false);
    for (int i = 0; indices != nullptr && i < count; ++i)
        if (indices[i] >= 0 && indices[i] < GetListSize())
            doomed[static_cast<std::size_t>(indices[i])] = true;
    std::size_t k = 0;
    std::erase_if(entries_, [&](const auto&) { return doomed[k++]; });
    SetModifiedFlag();
}

void CDocDialList::GetFullText(unsigned index, std::string& text) const {
    if (index >= entries_.size()) return;
    const tagDialEntry& e = *entries_[index];
    text = e.strComment + '\t' + e.strDialString + '\t' + std::to_string(e.lBaudRate) + '\t' +
           e.chParity + '\t' + std::to_string(e.nWordLen) + '\t' + std::to_string(e.nStopBits) +
           '\t' + e.chDuplex;
}

int CDocDialList::GetIndexOfComment(const std::string& comment) const {
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i]->strComment == comment) return static_cast<int>(i);
    return -1;
}

void CDocDialList::GetNumberOfComment(const std::string& comment, std::string& dialString) const {
    if (int i = GetIndexOfComment(comment); i >= 0)
        dialString = entries_[static_cast<std::size_t>(i)]->strDialString;
}

void CDocDialList::Serialize(tfw::CArchive& ar) {
    if (ar.IsStoring()) {
        for (std::size_t i = 0; i < entries_.size(); ++i)
            WriteDialListEntry(ar, static_cast<int>(i), *entries_[i]);
        return;
    }
    // Loading appends to what the list holds and leaves the modified flag alone.
    std::vector<tagDialEntry> loaded;
    ReadDialListEntries(ar, loaded);
    for (auto& e : loaded) entries_.push_back(std::make_unique<tagDialEntry>(std::move(e)));
}
