#include "image/codecs/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace glimmora {

size_t MemorySource::Read(size_t offset, void* dst, size_t n) const {
    if (!data_ || offset >= size_) return 0;
    const size_t take = n < size_ - offset ? n : size_ - offset;
    std::memcpy(dst, data_ + offset, take);
    return take;
}

FileSource::FileSource(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return;
    struct stat st;
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
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

}  // namespace glimmora
