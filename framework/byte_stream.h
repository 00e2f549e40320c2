// Byte sources and sinks that an archive reads from or writes to: a file on disk or a block
// of memory. Each call reports failure by its result; nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tfw {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to out.size() bytes. Returns the count read (0 at the end of the data),
    // or -1 when the underlying read failed.
    virtual long Read(std::span<std::uint8_t> out) = 0;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Writes all of the bytes or fails; returns false on failure.
    virtual bool Write(std::span<const std::uint8_t> data) = 0;
    // Pushes what is buffered below to its destination.
    virtual bool Flush() { return true; }
};

// A file opened by path, closed by the destructor.
class FileStream final : public ByteSource, public ByteSink {
public:
    enum class Mode { Read, Write };  // Write creates or truncates the file

    FileStream() = default;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;
    ~FileStream() override;

    // Returns false and leaves errno's value in LastErrno() when the file cannot be opened.
    bool Open(const std::string& path, Mode mode);
    bool IsOpen() const { return fd_ >= 0; }
    // Closes the file; false when the close reported an error (data may be lost on write).
    bool Close();
    // Makes written data durable on disk (used before replacing a saved file).
    bool Sync();
    int LastErrno() const { return errno_; }

    long Read(std::span<std::uint8_t> out) override;
    bool Write(std::span<const std::uint8_t> data) override;

private:
    int fd_ = -1;
    int errno_ = 0;
};

// Reads from a block of memory that the caller keeps alive.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> data) : data_(data) {}
    long Read(std::span<std::uint8_t> out) override;

private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
};

// Collects written bytes in memory.
class MemorySink final : public ByteSink {
public:
    bool Write(std::span<const std::uint8_t> data) override;
    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    std::string Text() const { return std::string(bytes_.begin(), bytes_.end()); }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace tfw
