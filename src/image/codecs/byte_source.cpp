#include "image/codecs/byte_source.h"

#include "image/channel_rows.h"
#include "image/codecs/image_codec.h"
#include "image/row_bands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace glimmora {

size_t ByteSource::ReadRows(size_t offset, uint8_t* const* rows, size_t count, size_t rowBytes) const {
    size_t done = 0;
    for (size_t i = 0; i < count; ++i) {
        const size_t got = Read(offset + done, rows[i], rowBytes);
        done += got;
        if (got < rowBytes) break;
    }
    return done;
}

size_t MemorySource::Read(size_t offset, void* dst, size_t n) const {
    if (!data_ || offset >= size_) return 0;
    const size_t take = n < size_ - offset ? n : size_ - offset;
    std::memcpy(dst, data_ + offset, take);
    return take;
}

FileSource::FileSource(const std::string& path) {
    // Non-blocking, so a FIFO or a device under a picture's name cannot hang the open.
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) {
        SetCodecError(std::strerror(errno));
        return;
    }
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        SetCodecError("not a regular file");
        ::close(fd_);
        fd_ = -1;
        return;
    }
    size_ = static_cast<size_t>(st.st_size);
}

FileSource::~FileSource() {
    if (fd_ >= 0) ::close(fd_);
}

size_t FileSource::Read(size_t offset, void* dst, size_t n) const {
    // The file may shrink while we read: whatever pread delivers is what we have.
    size_t done = 0;
    auto* out = static_cast<uint8_t*>(dst);
    while (done < n) {
        const ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

size_t FileSource::ReadRows(size_t offset, uint8_t* const* rows, size_t count, size_t rowBytes) const {
    constexpr size_t kBatch = 1024;  // IOV_MAX on Linux
    iovec vec[kBatch];
    size_t done = 0;
    for (size_t first = 0; first < count;) {
        const size_t n = std::min(kBatch, count - first);
        for (size_t i = 0; i < n; ++i) vec[i] = iovec{rows[first + i], rowBytes};
        const size_t want = n * rowBytes;
        const ssize_t got = ::preadv(fd_, vec, static_cast<int>(n), static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        if (static_cast<size_t>(got) < want) {
            // A short vectored read: finish the part-filled row, then go on row by row.
            done += static_cast<size_t>(got);
            size_t row = first + static_cast<size_t>(got) / rowBytes;
            const size_t within = static_cast<size_t>(got) % rowBytes;
            if (within) {
                const size_t more = Read(offset + done, rows[row] + within, rowBytes - within);
                done += more;
                if (more < rowBytes - within) return done;
                ++row;
            }
            return done + ByteSource::ReadRows(offset + done, rows + row, count - row, rowBytes);
        }
        done += want;
        first += n;
    }
    return done;
}

void ReadWidenedLines(const ByteSource& source, size_t offset, size_t fileStride, int count, int width,
                      const std::function<uint8_t*(int n)>& line) {
    RunRowBands(count, 1, [&](int begin, int end) {
        // A few lines at a time, so the file bytes are still in the cache when they are widened.
        constexpr int kLines = 32;
        thread_local std::vector<uint8_t> buffer;
        buffer.resize(fileStride * kLines);
        for (int first = begin; first < end; first += kLines) {
            const int lines = std::min(kLines, end - first);
            const size_t want = fileStride * static_cast<size_t>(lines);
            const size_t got =
                source.Read(offset + fileStride * static_cast<size_t>(first), buffer.data(), want);
            if (got < want) std::memset(buffer.data() + got, 0, want - got);
            for (int i = 0; i < lines; ++i)
                CopyChannels(line(first + i), 4, buffer.data() + fileStride * static_cast<size_t>(i), 3,
                             width);
        }
    });
}

}  // namespace glimmora
