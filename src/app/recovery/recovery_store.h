// The recovery folder: one entry per edited document (its picture and a small sidecar), so edits outlive a
// crash or a kill and the next start can offer them back.
#pragma once

#include <QDateTime>
#include <QString>
#include <string>
#include <vector>

#include "image/image.h"

namespace glimmora {

// $XDG_STATE_HOME/glimmora/recovery, $HOME/.local/state/glimmora/recovery without it.
std::string RecoveryFolder();

// Seconds between two rounds of writes: GLIMMORA_RECOVERY_SECONDS when set to a positive number, else 60.
int RecoveryIntervalSeconds();

// What a sidecar says. name is the entry's file stem, "<pid>-<serial>".
struct RecoveryEntry {
    std::string name;
    long pid = 0;
    QString title;
    std::string path;
    QDateTime written;
};

class RecoveryStore {
  public:
    explicit RecoveryStore(std::string folder) : folder_(std::move(folder)) {}
    const std::string& Folder() const { return folder_; }

    static std::string EntryName(long pid, int serial);
    std::string PicturePath(const std::string& name) const { return folder_ + "/" + name + ".bmp"; }
    std::string SidecarPath(const std::string& name) const { return folder_ + "/" + name + ".ini"; }

    // Picture first, sidecar second, each through a temporary file renamed over the old one: the sidecar
    // never names a picture that is not complete. The folder is made 0700; files are created 0600 and
    // never through a link. False when the folder or a file cannot be written; notOurs then says the
    // folder was refused: a link, not a folder, or another user's.
    bool Write(const RecoveryEntry& entry, const Image& picture, bool* notOurs = nullptr) const;
    // Removes both files; a missing one is no failure.
    void Remove(const std::string& name) const;

    // Every sidecar in the folder that reads as one (the rest go to broken, by file name).
    std::vector<RecoveryEntry> List(std::vector<std::string>* broken = nullptr) const;
    // Entries whose writer is gone: its process no longer runs, or that id now belongs to another program.
    // self: a process that has written nothing yet, so entries under its id are an earlier run's that had
    // the same id (ids repeat, in containers after every start).
    std::vector<RecoveryEntry> Orphans(std::vector<std::string>* broken = nullptr, long self = 0) const;
    // The next entry name for pid after serial that no file in the folder uses yet; serial advances to it.
    std::string FreeName(long pid, int& serial) const;
    // The entry's picture; false when it is missing or does not read.
    bool ReadPicture(const RecoveryEntry& entry, Image& out) const;
    // Whether the entry is still there as listed: gone, or rewritten by another process, it was taken.
    bool StillThere(const RecoveryEntry& entry) const;

    // The right to offer the folder's orphans, so two runs started together never offer the same
    // entries: a lock on a private file in the folder, held until UnlockOffers (or the process ends). -1
    // when not taken; heldElsewhere then says another process holds it.
    int LockOffers(bool& heldElsewhere) const;
    void UnlockOffers(int lock) const;

  private:
    std::string folder_;
};

// Whether process pid is still a Glimmora: it exists and runs the same program file as this process
// (by name, so a rebuilt or reinstalled program still counts).
bool IsLiveGlimmora(long pid);

}  // namespace glimmora
