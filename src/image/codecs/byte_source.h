// Where a reader's bytes come from: a buffer in memory or an open file. Pixel data is read straight into
// the picture, so loading a file costs one copy rather than two.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace glimmora {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual size_t Size() const = 0;
    // Copies up to n bytes from offset; returns how many arrived (fewer at the end of the data).
    virtual size_t Read(size_t offset, void* dst, size_t n) const = 0;
    // Fills rows[0], rows[1], ... with rowBytes each from consecutive bytes at offset; returns the bytes
    // delivered, which fill the rows in order.
    virtual size_t ReadRows(size_t offset, uint8_t* const* rows, size_t count, size_t rowBytes) const;
};

class MemorySource : public ByteSource {
  public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t Size() const override { return size_; }
    size_t Read(size_t offset, void* dst, size_t n) const override;

  private:
    const uint8_t* data_;
    size_t size_;
};

class FileSource : public ByteSource {
  public:
    explicit FileSource(const std::string& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;
    // False when the file cannot be opened or is not a regular file.
    bool IsOpen() const { return fd_ >= 0; }
    size_t Size() const override { return size_; }
    size_t Read(size_t offset, void* dst, size_t n) const override;
    // Batches rows into vectored reads: one system call for up to a thousand rows.
    size_t ReadRows(size_t offset, uint8_t* const* rows, size_t count, size_t rowBytes) const override;

  private:
    int fd_ = -1;
    size_t size_ = 0;
};

// Reads count lines of width 24-bit pixels, fileStride bytes apart from offset, and widens them to 32
// bits (alpha 255) into line(n) as they arrive, on the row-band threads. Missing bytes read as zero, as
// in a 24-bit picture widened afterwards.
void ReadWidenedLines(const ByteSource& source, size_t offset, size_t fileStride, int count, int width,
                      const std::function<uint8_t*(int n)>& line);

}  // namespace glimmora
