// Binary archive through which documents store and load themselves: little-endian integers
// and the framework string encoding (length byte below 255; else 255 and a 16-bit length below
// 65535; else 255, 0xFFFF and a 32-bit length; then the 8-bit characters, no terminator).
//
// Failures are sticky: the first failure is kept in Status() and every later typed read or
// write does nothing. A short typed read is EndOfFile; Read() of raw bytes at the end of the
// data is not a failure (it returns a short count), so text formats can find their end.
#pragma once

#include "framework/byte_stream.h"

#include <array>
#include <concepts>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace tfw {

enum class ArchiveStatus {
    Ok = 0,
    EndOfFile,   // the data ended inside a value
    ReadError,   // the source failed
    WriteError,  // the sink failed
    WrongMode,   // read on a storing archive or write on a loading one
};

const char* ArchiveStatusText(ArchiveStatus status);

template <typename T>
concept ArchiveInteger = std::integral<T> && !std::same_as<T, bool>;

class CArchive {
public:
    enum class Mode { Load, Store };

    explicit CArchive(ByteSource& source);  // loading archive
    explicit CArchive(ByteSink& sink);      // storing archive
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;
    ~CArchive();  // flushes a storing archive (use Flush() to see the result)

    bool IsLoading() const { return mode_ == Mode::Load; }
    bool IsStoring() const { return mode_ == Mode::Store; }
    ArchiveStatus Status() const { return status_; }
    bool Ok() const { return status_ == ArchiveStatus::Ok; }
    // Marks the archive failed with a status of the caller's choice (first failure wins).
    void Fail(ArchiveStatus status);

    // Raw bytes. Read returns the count read; fewer than asked means the end of the data
    // (or a failure: see Status()).
    std::size_t Read(std::span<std::uint8_t> out);
    void Write(std::span<const std::uint8_t> data);
    void Write(std::string_view text);

    // Reads one byte: Ok, EndOfFile (not sticky) or the sticky failure.
    ArchiveStatus ReadByte(std::uint8_t& byte);

    template <ArchiveInteger T>
    void WriteInt(T value) {
        using U = std::make_unsigned_t<T>;
        U u = static_cast<U>(value);
        std::array<std::uint8_t, sizeof(T)> b{};
        for (std::size_t i = 0; i < sizeof(T); ++i) b[i] = static_cast<std::uint8_t>(u >> (8 * i));
        Write(std::span<const std::uint8_t>(b));
    }

    // Returns false (and leaves value untouched) when the value could not be read whole.
    template <ArchiveInteger T>
    bool ReadInt(T& value) {
        std::array<std::uint8_t, sizeof(T)> b{};
        if (!ReadExact(b)) return false;
        using U = std::make_unsigned_t<T>;
        U u = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            u |= static_cast<U>(static_cast<U>(b[i]) << (8 * i));
        value = static_cast<T>(u);
        return true;
    }

    void WriteString(std::string_view text);
    // Reads a framework string. A claimed length larger than the data fails with EndOfFile
    // without reserving memory for the claim.
    bool ReadString(std::string& text);

    // Writes buffered bytes through to the sink; false when the archive has failed.
    bool Flush();

private:
    bool ReadExact(std::span<std::uint8_t> out);
    bool Fill();

    Mode mode_;
    ByteSource* source_ = nullptr;
    ByteSink* sink_ = nullptr;
    ArchiveStatus status_ = ArchiveStatus::Ok;
    std::array<std::uint8_t, 4096> buf_{};
    std::size_t bufPos_ = 0;  // next byte to read, or bytes waiting to be written
    std::size_t bufLen_ = 0;  // bytes held (load only)
    bool atEnd_ = false;      // the source reported its end
};

template <ArchiveInteger T>
CArchive& operator<<(CArchive& ar, T value) {
    ar.WriteInt(value);
    return ar;
}
template <ArchiveInteger T>
CArchive& operator>>(CArchive& ar, T& value) {
    ar.ReadInt(value);
    return ar;
}
inline CArchive& operator<<(CArchive& ar, std::string_view text) {
    ar.WriteString(text);
    return ar;
}
inline CArchive& operator>>(CArchive& ar, std::string& text) {
    ar.ReadString(text);
    return ar;
}

}  // namespace tfw
