#include "framework/archive.h"

#include <algorithm>
#include <cstring>

namespace tfw {

const char* ArchiveStatusText(ArchiveStatus status) {
    switch (status) {
        case ArchiveStatus::Ok:
            return "no error";
        case ArchiveStatus::EndOfFile:
            return "unexpected end of file";
        case ArchiveStatus::ReadError:
            return "read error";
        case ArchiveStatus::WriteError:
            return "write error";
        case ArchiveStatus::WrongMode:
            return "wrong archive direction";
    }
    return "unknown archive error";
}

CArchive::CArchive(ByteSource& source) : mode_(Mode::Load), source_(&source) {}
CArchive::CArchive(ByteSink& sink) : mode_(Mode::Store), sink_(&sink) {}

CArchive::~CArchive() {
    if (IsStoring()) Flush();
}

void CArchive::Fail(ArchiveStatus status) {
    if (status_ == ArchiveStatus::Ok) status_ = status;
}

bool CArchive::Fill() {
    if (atEnd_ || !Ok()) return false;
    long n = source_->Read(buf_);
    if (n < 0) {
        Fail(ArchiveStatus::ReadError);
        return false;
    }
    if (n == 0) {
        atEnd_ = true;
        return false;
    }
    bufPos_ = 0;
    bufLen_ = static_cast<std::size_t>(n);
    return true;
}

std::size_t CArchive::Read(std::span<std::uint8_t> out) {
    if (!IsLoading()) {
        Fail(ArchiveStatus::WrongMode);
        return 0;
    }
    std::size_t done = 0;
    while (done < out.size() && Ok()) {
        if (bufPos_ == bufLen_ && !Fill()) break;
        std::size_t n = std::min(out.size() - done, bufLen_ - bufPos_);
        std::memcpy(out.data() + done, buf_.data() + bufPos_, n);
        bufPos_ += n;
        done += n;
    }
    return done;
}

ArchiveStatus CArchive::ReadByte(std::uint8_t& byte) {
    if (!IsLoading()) Fail(ArchiveStatus::WrongMode);
    if (!Ok()) return status_;
    if (bufPos_ == bufLen_ && !Fill()) return Ok() ? ArchiveStatus::EndOfFile : status_;
    byte = buf_[bufPos_++];
    return ArchiveStatus::Ok;
}

bool CArchive::ReadExact(std::span<std::uint8_t> out) {
    if (!Ok()) return false;
    if (Read(out) == out.size()) return true;
    Fail(ArchiveStatus::EndOfFile);
    return false;
}

void CArchive::Write(std::span<const std::uint8_t> data) {
    if (!IsStoring()) Fail(ArchiveStatus::WrongMode);
    while (!data.empty() && Ok()) {
        if (bufPos_ == buf_.size() && !Flush()) return;
        std::size_t n = std::min(data.size(), buf_.size() - bufPos_);
        std::memcpy(buf_.data() + bufPos_, data.data(), n);
        bufPos_ += n;
        data = data.subspan(n);
    }
}

void CArchive::Write(std::string_view text) {
    Write(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()),
                                        text.size()));
}

bool CArchive::Flush() {
    if (!IsStoring() || !Ok()) return Ok();
    if (bufPos_ > 0) {
        if (!sink_->Write(std::span<const std::uint8_t>(buf_.data(), bufPos_))) {
            Fail(ArchiveStatus::WriteError);
            bufPos_ = 0;
            return false;
        }
        bufPos_ = 0;
    }
    if (!sink_->Flush()) {
        Fail(ArchiveStatus::WriteError);
        return false;
    }
    return true;
}

void CArchive::WriteString(std::string_view text) {
    std::size_t n = text.size();
    if (n < 0xFF) {
        WriteInt(static_cast<std::uint8_t>(n));
    } else if (n < 0xFFFF) {
        WriteInt(std::uint8_t{0xFF});
        WriteInt(static_cast<std::uint16_t>(n));
    } else {
        // Longer texts than 32 bits can count cannot be encoded; such a text would need
        // 4 GiB anyway, so it is cut at the largest length the format can carry.
        if (n > 0xFFFFFFFFu) n = 0xFFFFFFFFu;
        WriteInt(std::uint8_t{0xFF});
        WriteInt(std::uint16_t{0xFFFF});
        WriteInt(static_cast<std::uint32_t>(n));
    }
    Write(text.substr(0, n));
}

bool CArchive::ReadString(std::string& text) {
    std::uint8_t b = 0;
    if (!ReadInt(b)) return false;
    std::uint32_t n = b;
    if (b == 0xFF) {
        std::uint16_t w = 0;
        if (!ReadInt(w)) return false;
        n = w;
        if (w == 0xFFFF && !ReadInt(n)) return false;
    }
    // Read in steps so a damaged length cannot make us reserve memory the data does not have.
    std::string out;
    std::uint8_t chunk[4096];
    while (out.size() < n) {
        std::size_t want = std::min<std::size_t>(sizeof chunk, n - out.size());
        if (!ReadExact(std::span<std::uint8_t>(chunk, want))) return false;
        out.append(reinterpret_cast<const char*>(chunk), want);
    }
    text = std::move(out);
    return true;
}

}  // namespace tfw
