// The list of recently used files (most recent first, without duplicates), kept in the
// profile section "Recent File List" as File1..FileN.
#pragma once

#include "framework/profile.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tfw {

class CRecentFileList {
public:
    explicit CRecentFileList(std::size_t size = 4, std::string section = "Recent File List",
                             std::string keyFormat = "File");

    // Puts path first; an entry already listed moves up instead of appearing twice. Paths
    // compare exactly (Linux file names are case-sensitive).
    void Add(std::string_view path);
    void Remove(std::size_t index);
    const std::vector<std::string>& Items() const { return items_; }
    std::size_t GetSize() const { return size_; }

    void ReadList(const CProfile& profile);
    // Rewrites the section: File1..FileN for the entries held, the rest removed.
    void WriteList(CProfile& profile) const;

private:
    std::size_t size_;
    std::string section_;
    std::string keyPrefix_;
    std::vector<std::string> items_;
};

}  // namespace tfw
