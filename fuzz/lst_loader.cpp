// Loads arbitrary bytes as a phone list. The load must end cleanly, and whatever it loaded
// must store and load again to the same entries.
#include "framework/archive.h"
#include "framework/byte_stream.h"
#include "setup/dial_list.h"
#include "setup/dial_list_format.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>

namespace {

std::unique_ptr<CDocDialList> NewList() {
    auto doc = classCDocDialList.createObject();
    return std::unique_ptr<CDocDialList>(static_cast<CDocDialList*>(doc.release()));
}

void Load(CDocDialList& list, std::span<const std::uint8_t> bytes) {
    tfw::MemorySource src(bytes);
    tfw::CArchive ar(src);
    list.Serialize(ar);
    if (!ar.Ok()) std::abort();  // memory never fails: only the end of the data may stop us
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto list = NewList();
    Load(*list, std::span<const std::uint8_t>(data, size));

    tfw::MemorySink sink;
    {
        tfw::CArchive ar(sink);
        list->Serialize(ar);
        if (!ar.Flush()) std::abort();
    }
    auto again = NewList();
    Load(*again, sink.Bytes());
    if (again->GetListSize() != list->GetListSize()) std::abort();
    for (int i = 0; i < list->GetListSize(); ++i) {
        const tagDialEntry& a = *list->GetNode(i);
        if (a.strComment.size() > kMaxDialListField || a.strDialString.size() > kMaxDialListField)
            continue;
        if (!(a == *again->GetNode(i))) std::abort();
    }
    return 0;
}
