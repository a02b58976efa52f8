#include "app/recovery/recovery_store.h"

#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <cstdlib>
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

bool RecoveryStore::Write(const RecoveryEntry& entry, const Image& picture) const {
    if (!QDir().mkpath(QFile::decodeName(folder_.c_str()))) return false;
    QFile::setPermissions(QFile::decodeName(folder_.c_str()),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    BmpCodec codec;
    codec.saveList.push_back(&picture);
    if (!codec.SaveFile(PicturePath(entry.name), 0)) return false;
    const std::string text = std::string(kHeader) + "\nPid=" + std::to_string(entry.pid) +
                             "\nTitle=" + Escape(entry.title.toStdString()) + "\nPath=" + Escape(entry.path) +
                             "\nTime=" + entry.written.toUTC().toString(Qt::ISODate).toStdString() + "\n";
    return WriteFileAtomically(SidecarPath(entry.name), text.data(), text.size());
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

bool IsLiveGlimmora(long pid) {
    if (pid <= 0 || pid > INT_MAX) return false;
    // EPERM: another user's process, so not the writer of an entry in our own folder.
    if (kill(static_cast<pid_t>(pid), 0) != 0) return false;
    const std::string self = ProgramName("/proc/self/exe");
    return !self.empty() && ProgramName("/proc/" + std::to_string(pid) + "/exe") == self;
}

}  // namespace glimmora
