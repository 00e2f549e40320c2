#include "framework/recent_files.h"

#include <algorithm>

namespace tfw {

CRecentFileList::CRecentFileList(std::size_t size, std::string section, std::string keyFormat)
    : size_(size), section_(std::move(section)), keyPrefix_(std::move(keyFormat)) {}

void CRecentFileList::Add(std::string_view path) {
    if (path.empty() || size_ == 0) return;
    std::erase(items_, std::string(path));
    items_.insert(items_.begin(), std::string(path));
    if (items_.size() > size_) items_.resize(size_);
}

void CRecentFileList::Remove(std::size_t index) {
    if (index < items_.size()) items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
}

void CRecentFileList::ReadList(const CProfile& profile) {
    items_.clear();
    for (std::size_t i = 1; i <= size_; ++i) {
        std::string v = profile.GetString(section_, keyPrefix_ + std::to_string(i));
        if (!v.empty() && std::find(items_.begin(), items_.end(), v) == items_.end())
            items_.push_back(v);
    }
}

void CRecentFileList::WriteList(CProfile& profile) const {
    profile.DeleteSection(section_);
    for (std::size_t i = 0; i < items_.size(); ++i)
        profile.WriteString(section_, keyPrefix_ + std::to_string(i + 1), items_[i]);
}

}  // namespace tfw
