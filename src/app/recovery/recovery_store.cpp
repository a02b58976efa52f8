#include "app/recovery/recovery_store.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <initializer_list>
#include <memory>

#include "image/codecs/codecs.h"

namespace glimmora {

namespace {

constexpr char kHeader[] = "[Recovery]";

// One value on one line: backslashes and line ends escaped.
std::string Escape(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string Unescape(const std::string& value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char next = value[++i];
        out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return out;
}

bool ParseSidecar(const QByteArray& text, RecoveryEntry& entry) {
    const QList<QByteArray> lines = text.split('\n');
    if (lines.isEmpty() || lines.front().trimmed() != kHeader) return false;
    bool havePid = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0) continue;
        const QByteArray key = line.left(eq).trimmed();
        const std::string value = Unescape(line.mid(eq + 1).toStdString());
        if (key == "Pid") {
            char* end = nullptr;
            errno = 0;
            const long pid = std::strtol(value.c_str(), &end, 10);
            if (errno != 0 || end == value.c_str() || *end != '\0' || pid <= 0 || pid > INT_MAX) return false;
            entry.pid = pid;
            havePid = true;
        } else if (key == "Title") {
            entry.title = QString::fromStdString(value);
        } else if (key == "Path") {
            entry.path = value;
        } else if (key == "Time") {
            entry.written = QDateTime::fromString(QString::fromStdString(value), Qt::ISODate);
        }
    }
    return havePid;
}

std::string ProgramName(const std::string& exeLink) {
    std::string target(PATH_MAX, '\0');
    const ssize_t n = readlink(exeLink.c_str(), target.data(), target.size());
    if (n <= 0) return {};
    target.resize(static_cast<size_t>(n));
    // A program file replaced while running (a rebuild, an upgrade) reads back with this mark.
    constexpr char kDeleted[] = " (deleted)";
    if (target.ends_with(kDeleted)) target.resize(target.size() - (sizeof kDeleted - 1));
    return target.substr(target.rfind('/') + 1);
}

}  // namespace

std::string RecoveryFolder() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    // Relative paths are to be ignored, as for every XDG variable.
    if (state.isEmpty() || !QDir::isAbsolutePath(state)) state = QDir::homePath() + "/.local/state";
    return QFile::encodeName(state + "/glimmora/recovery").toStdString();
}

int RecoveryIntervalSeconds() {
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("GLIMMORA_RECOVERY_SECONDS", &ok);
    return ok && seconds > 0 ? seconds : 60;
}

std::string RecoveryStore::EntryName(long pid, int serial) {
    return std::to_string(pid) + "-" + std::to_string(serial);
}

namespace {

// The folder opened for use, after checking it is a real folder of this user; made (0700) when missing
// and tightened to 0700 when it is ours but open to others. -1 when it cannot be, notOurs set when it was
// refused rather than failed.
int OpenPrivateFolder(const std::string& folder, bool& notOurs) {
    notOurs = false;
    const size_t slash = folder.rfind('/');
    if (slash != std::string::npos && slash > 0 &&
        !QDir().mkpath(QFile::decodeName(folder.substr(0, slash).c_str())))
        return -1;
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return -1;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        // A link where the folder should be gives ELOOP or ENOTDIR.
        notOurs = errno == ELOOP || errno == ENOTDIR;
        if (fd >= 0) ::close(fd);
        return -1;
    }
    if (st.st_uid != ::getuid()) {
        notOurs = true;
        ::close(fd);
        return -1;
    }
    if ((st.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Writes the parts to a fresh 0600 file under a temporary name in the folder, on the disk, then gives it
// the name: nothing is written through a link, and a crash leaves the old file or the new one.
bool WritePrivately(int folder, const std::string& name,
                    std::initializer_list<std::pair<const void*, size_t>> parts) {
    const std::string temp = "." + name + ".tmp" + std::to_string(::getpid());
    ::unlinkat(folder, temp.c_str(), 0);
    const int fd = ::openat(folder, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = true;
    for (const auto& [data, size] : parts) {
        const char* p = static_cast<const char*>(data);
        for (size_t left = size; ok && left > 0;) {
            const ssize_t n = ::write(fd, p, left);
            if (n < 0 && errno == EINTR) continue;
            ok = n > 0;
            if (ok) p += n, left -= static_cast<size_t>(n);
        }
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::renameat(folder, temp.c_str(), folder, name.c_str()) == 0;
    if (!ok) ::unlinkat(folder, temp.c_str(), 0);
    return ok;
}

}  // namespace

bool RecoveryStore::Write(const RecoveryEntry& entry, const Image& picture, bool* notOurs) const {
    bool refused = false;
    const int folder = OpenPrivateFolder(folder_, refused);
    if (notOurs) *notOurs = refused;
    if (folder < 0) return false;
    const std::vector<uint8_t> head = BmpFileHead(picture);
    const std::string text = std::string(kHeader) + "\nPid=" + std::to_string(entry.pid) +
                             "\nTitle=" + Escape(entry.title.toStdString()) + "\nPath=" + Escape(entry.path) +
                             "\nTime=" + entry.written.toUTC().toString(Qt::ISODate).toStdString() + "\n";
    const bool ok = picture.IsValid() && !head.empty() &&
                    WritePrivately(folder, entry.name + ".bmp",
                                   {{head.data(), head.size()}, {picture.Bits(), picture.PixelBytes()}}) &&
                    WritePrivately(folder, entry.name + ".ini", {{text.data(), text.size()}}) &&
                    ::fsync(folder) == 0;
    ::close(folder);
    return ok;
}

void RecoveryStore::Remove(const std::string& name) const {
    // The sidecar first: a picture alone is never offered.
    unlink(SidecarPath(name).c_str());
    unlink(PicturePath(name).c_str());
}

std::vector<RecoveryEntry> RecoveryStore::List(std::vector<std::string>* broken) const {
    std::vector<RecoveryEntry> entries;
    const QDir dir(QFile::decodeName(folder_.c_str()));
    for (const QFileInfo& info : dir.entryInfoList({"*.ini"}, QDir::Files, QDir::Name)) {
        QFile file(info.filePath());
        RecoveryEntry entry;
        entry.name = QFile::encodeName(info.completeBaseName()).toStdString();
        // A sidecar is a few lines; anything larger is not one of ours.
        if (info.size() > 64 * 1024 || !file.open(QIODevice::ReadOnly) ||
            !ParseSidecar(file.readAll(), entry)) {
            if (broken) broken->push_back(QFile::encodeName(info.fileName()).toStdString());
            continue;
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<RecoveryEntry> RecoveryStore::Orphans(std::vector<std::string>* broken, long self) const {
    std::vector<RecoveryEntry> orphans;
    for (RecoveryEntry& entry : List(broken))
        if (entry.pid == self || !IsLiveGlimmora(entry.pid)) orphans.push_back(std::move(entry));
    return orphans;
}

std::string RecoveryStore::FreeName(long pid, int& serial) const {
    for (;;) {
        const std::string name = EntryName(pid, ++serial);
        if (access(SidecarPath(name).c_str(), F_OK) != 0 && access(PicturePath(name).c_str(), F_OK) != 0)
            return name;
    }
}

bool RecoveryStore::ReadPicture(const RecoveryEntry& entry, Image& out) const {
    BmpCodec codec;
    if (!codec.LoadFile(PicturePath(entry.name))) return false;
    std::deque<Image*> frames = codec.TakeFrames(true);
    if (frames.empty() || !frames.front()) return false;
    std::unique_ptr<Image> first(frames.front());
    for (size_t i = 1; i < frames.size(); ++i) delete frames[i];
    // The reader makes up rows a short file lacks; an entry cut short is damaged, not a picture.
    const qint64 size = QFileInfo(QFile::decodeName(PicturePath(entry.name).c_str())).size();
    if (!first->IsValid() || size < static_cast<qint64>(first->PixelBytes() + 54)) return false;
    out = std::move(*first);
    return true;
}

bool RecoveryStore::StillThere(const RecoveryEntry& entry) const {
    QFile file(QFile::decodeName(SidecarPath(entry.name).c_str()));
    RecoveryEntry now;
    return file.size() <= 64 * 1024 && file.open(QIODevice::ReadOnly) && ParseSidecar(file.readAll(), now) &&
           now.pid == entry.pid;
}

namespace {
constexpr char kOfferLock[] = ".offer.lock";
}  // namespace

int RecoveryStore::LockOffers(bool& heldElsewhere) const {
    heldElsewhere = false;
    bool notOurs = false;
    const int folder = OpenPrivateFolder(folder_, notOurs);
    if (folder < 0) return -1;
    int lock = -1;
    // The holder removes the file as it lets go; a file opened just before that is locked in vain, so the
    // lock counts only while the name still leads to it.
    for (int attempt = 0; attempt < 8 && lock < 0; ++attempt) {
        const int fd = ::openat(folder, kOfferLock, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) break;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            heldElsewhere = errno == EWOULDBLOCK;
            ::close(fd);
            break;
        }
        struct stat held, named;
        if (::fstat(fd, &held) == 0 && ::fstatat(folder, kOfferLock, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino)
            lock = fd;
        else
            ::close(fd);
    }
    ::close(folder);
    return lock;
}

void RecoveryStore::UnlockOffers(int lock) const {
    if (lock < 0) return;
    unlink((folder_ + "/" + kOfferLock).c_str());
    ::close(lock);
}

bool IsLiveGlimmora(long pid) {
    if (pid <= 0 || pid > INT_MAX) return false;
    // EPERM: another user's process, so not the writer of an entry in our own folder.
    if (kill(static_cast<pid_t>(pid), 0) != 0) return false;
    const std::string self = ProgramName("/proc/self/exe");
    return !self.empty() && ProgramName("/proc/" + std::to_string(pid) + "/exe") == self;
}

}  // namespace glimmora
