#include "image/codecs/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <system_error>
#include <thread>
#include <vector>

#include "image/codecs/codecs.h"

namespace glimmora {

namespace {
mode_t DefaultFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// A symbolic link is written through, so the link stays and its target gets the new picture. Links are
// followed by hand because the target need not exist yet.
std::string ResolveLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::vector<char> target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size()) return path;
        std::string next(target.data(), static_cast<size_t>(n));
        const size_t slash = path.find_last_of('/');
        if (next.front() != '/' && slash != std::string::npos) next = path.substr(0, slash + 1) + next;
        path = std::move(next);
    }
    return path;
}

// A private file made with mkstemp beside path; false when that is refused.
bool MakeTempBeside(const std::string& path, std::string& temp) {
    temp = path + ".XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    // mkstemp makes the file 0600: nobody else can read it while it is written.
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return false;
    ::close(fd);
    temp.assign(name.data());
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// A reserved file has no name until the save takes it (O_TMPFILE): a run that fails or is interrupted
// before then leaves nothing behind.
struct Reservation {
    std::string path;  // links resolved
    int fd = -1;       // -1 until made, or when it could not be
    std::thread maker;
};

// Gives the unnamed file fd a private name beside path; "" when that fails.
std::string NameBeside(int fd, const std::string& path) {
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = path + ".";
        for (int i = 0; i < 6; ++i) temp += kLetters[random() % (sizeof kLetters - 1)];
        if (::linkat(AT_FDCWD, link.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) return temp;
        if (errno != EEXIST) break;
    }
    return {};
}

// Reservations not yet taken; the files of those left at exit vanish with their descriptors.
class Reservations {
  public:
    ~Reservations() {
        for (auto& r : list_) {
            if (r->maker.joinable()) r->maker.join();
            if (r->fd >= 0) ::close(r->fd);
        }
    }
    void Add(std::unique_ptr<Reservation> r) {
        std::lock_guard<std::mutex> lock(mutex_);
        list_.push_back(std::move(r));
    }
    // The prepared file for path, named beside it, or "" when none was reserved.
    std::string Take(const std::string& path) {
        std::unique_ptr<Reservation> found;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            for (auto it = list_.begin(); it != list_.end(); ++it) {
                if ((*it)->path == path) {
                    found = std::move(*it);
                    list_.erase(it);
                    break;
                }
            }
        }
        if (!found) return {};
        if (found->maker.joinable()) found->maker.join();
        if (found->fd < 0) return {};
        std::string temp = NameBeside(found->fd, path);
        ::close(found->fd);
        return temp;
    }

  private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<Reservation>> list_;
};

Reservations& PendingReservations() {
    static Reservations reservations;
    return reservations;
}

bool SyncFolderOf(const std::string& path) {
    const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    ::fsync(fd);
    ::close(fd);
    return true;
}
}  // namespace

bool WriteBesideThenRename(const std::string& requested,
                           const std::function<bool(const std::string&)>& write) {
    if (requested.empty() || requested.back() == '/') return false;
    const std::string path = ResolveLinks(requested);
    // A picture saved over another keeps that file's permissions (and owner, where we may set it).
    struct stat old;
    const bool replacing = ::stat(path.c_str(), &old) == 0;
    if (replacing && !S_ISREG(old.st_mode)) {
        SetCodecError("not a regular file");
        return false;
    }
    std::string temp = PendingReservations().Take(path);
    if (temp.empty() && !MakeTempBeside(path, temp)) {
        SetCodecError(std::strerror(errno));
        return false;
    }
    bool ok = write(temp);
    if (!ok && LastCodecError().empty()) SetCodecError("the encoder could not write the file");
    if (ok) {
        // On the disk before it takes the name, so a crash leaves the old picture or the new one.
        const int wfd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
        ok = wfd >= 0 && ::fsync(wfd) == 0;
        if (wfd >= 0) {
            if (replacing && ::fchown(wfd, old.st_uid, old.st_gid) != 0) {
                // Only root may give a file away; otherwise it stays the saver's, with the old mode.
            }
            ok = ok && ::fchmod(wfd, replacing ? old.st_mode & 07777 : DefaultFileMode()) == 0;
            ::close(wfd);
        }
        if (!ok && LastCodecError().empty()) SetCodecError(std::strerror(errno));
    }
    if (ok) {
        ok = ::rename(temp.c_str(), path.c_str()) == 0;
        if (!ok) SetCodecError(std::strerror(errno));
    }
    if (!ok) ::unlink(temp.c_str());
    if (ok) SyncFolderOf(path);
    return ok;
}

void ReserveWriteBeside(const std::string& requested, size_t bytes) {
    if (requested.empty() || requested.back() == '/') return;
    auto r = std::make_unique<Reservation>();
    r->path = ResolveLinks(requested);
    Reservation* const raw = r.get();
    try {
        raw->maker = std::thread([raw, bytes] {
            const int fd = ::open(FolderOf(raw->path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
            if (fd < 0) return;
            // Where the file system cannot reserve, the write allocates as it goes.
            if (::fallocate(fd, 0, 0, static_cast<off_t>(bytes)) != 0) {
            }
            raw->fd = fd;
        });
    } catch (const std::system_error&) {
        return;  // no thread to be had: no head start
    }
    PendingReservations().Add(std::move(r));
}

bool WriteStreamAtomically(const std::string& path, const std::function<bool(std::FILE*)>& write) {
    return WriteBesideThenRename(path, [&](const std::string& temp) {
        // The file exists (made beside, perhaps with space reserved): write over it and cut it to what was
        // written, rather than truncate first and give the reserved space back.
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) return false;
        std::FILE* f = ::fdopen(fd, "wb");
        if (!f) {
            ::close(fd);
            return false;
        }
        bool ok = write(f);
        ok = (std::fflush(f) == 0) && ok;
        const off_t end = ::ftello(f);
        ok = end >= 0 && ::ftruncate(fd, end) == 0 && ok;
        ok = (std::fclose(f) == 0) && ok;
        return ok;
    });
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t size) {
    return WriteStreamAtomically(
        path, [&](std::FILE* f) { return size == 0 || std::fwrite(data, 1, size, f) == size; });
}

}  // namespace glimmora
