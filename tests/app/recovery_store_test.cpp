// The recovery entries on real files: written, listed, read back, what a damaged folder yields, the
// writer's thread and the offer lock.
#include "app/recovery/recovery_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "app/recovery/recovery_writer.h"
#include "app/temp_dir.h"

namespace glimmora {
namespace {

using test::ReadText;
using test::TempDir;
using test::WriteText;

Image Picture(int w, int h) {
    Image image;
    EXPECT_TRUE(image.Create(w, h, 32));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 4; ++x) image.Row(y)[x] = static_cast<uint8_t>(x * 7 + y * 13);
    return image;
}

bool SamePixels(const Image& a, const Image& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() && a.Depth() == b.Depth() &&
           a.PixelBytes() == b.PixelBytes() && std::memcmp(a.Bits(), b.Bits(), a.PixelBytes()) == 0;
}

RecoveryEntry Entry(const std::string& name, long pid) {
    RecoveryEntry e;
    e.name = name;
    e.pid = pid;
    e.title = QString::fromUtf8("Été\\1\nsecond line");
    e.path = "/tmp/a folder/pic.png";
    e.written = QDateTime(QDate(2026, 12, 8), QTime(1, 2, 3), Qt::UTC);
    return e;
}

TEST(RecoveryStore, WritesReadsBackAndRemovesEntries) {
    TempDir dir;
    const RecoveryStore store(dir.File("state/glimmora/recovery"));
    const std::string name = RecoveryStore::EntryName(getpid(), 3);
    EXPECT_EQ(name, std::to_string(getpid()) + "-3");
    const Image first = Picture(5, 3);
    ASSERT_TRUE(store.Write(Entry(name, getpid()), first));
    // Rewritten in place: still one entry, with the newer picture, and no temporary file left.
    const Image second = Picture(2, 7);
    ASSERT_TRUE(store.Write(Entry(name, getpid()), second));
    EXPECT_EQ(QDir(QString::fromStdString(store.Folder())).entryList(QDir::Files),
              QStringList({QString::fromStdString(name + ".bmp"), QString::fromStdString(name + ".ini")}));

    std::vector<std::string> broken;
    const std::vector<RecoveryEntry> listed = store.List(&broken);
    EXPECT_TRUE(broken.empty());
    ASSERT_EQ(listed.size(), 1u);
    const RecoveryEntry& e = listed[0];
    EXPECT_EQ(e.name, name);
    EXPECT_EQ(e.pid, getpid());
    EXPECT_EQ(e.title, Entry(name, 0).title);
    EXPECT_EQ(e.path, "/tmp/a folder/pic.png");
    EXPECT_EQ(e.written, Entry(name, 0).written);
    Image back;
    ASSERT_TRUE(store.ReadPicture(e, back));
    EXPECT_TRUE(SamePixels(back, second));
    // This very process runs the writer's program: not an orphan, unless it has written nothing yet and
    // the entry is an earlier run's under the same id. New names pass over the names in use.
    EXPECT_TRUE(store.Orphans().empty());
    EXPECT_EQ(store.Orphans(nullptr, getpid()).size(), 1u);
    int serial = 2;
    EXPECT_EQ(store.FreeName(getpid(), serial), RecoveryStore::EntryName(getpid(), 4));
    EXPECT_EQ(serial, 4);

    store.Remove(name);
    EXPECT_TRUE(QDir(QString::fromStdString(store.Folder())).entryList(QDir::Files).isEmpty());
    store.Remove(name);  // twice is harmless
}

// The folder is private and only ever ours: an open one is tightened, a link to a folder or a link
// planted where an entry goes is never written through.
TEST(RecoveryStore, EntriesArePrivateAndNeverWrittenThroughALink) {
    TempDir dir;
    const std::string folder = dir.File("recovery");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const RecoveryStore store(folder);
    const std::string name = RecoveryStore::EntryName(getpid(), 1);
    // A link where the picture goes, pointing at a file of the user's.
    WriteText(dir.File("precious.txt"), "keep me");
    ASSERT_EQ(::symlink(dir.File("precious.txt").c_str(), store.PicturePath(name).c_str()), 0);
    bool notOurs = true;
    ASSERT_TRUE(store.Write(Entry(name, getpid()), Picture(4, 4), &notOurs));
    EXPECT_FALSE(notOurs);
    EXPECT_EQ(ReadText(dir.File("precious.txt")), "keep me");
    struct stat st;
    ASSERT_EQ(::stat(folder.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    for (const std::string& file : {store.PicturePath(name), store.SidecarPath(name)}) {
        ASSERT_EQ(::lstat(file.c_str(), &st), 0) << file;
        EXPECT_TRUE(S_ISREG(st.st_mode)) << file;
        EXPECT_EQ(st.st_mode & 07777, 0600u) << file;
    }
    // The folder itself a link to another folder: refused, and said so.
    ASSERT_EQ(::mkdir(dir.File("elsewhere").c_str(), 0700), 0);
    ASSERT_EQ(::symlink(dir.File("elsewhere").c_str(), dir.File("linked").c_str()), 0);
    const RecoveryStore linked(dir.File("linked"));
    EXPECT_FALSE(linked.Write(Entry(name, getpid()), Picture(4, 4), &notOurs));
    EXPECT_TRUE(notOurs);
    EXPECT_TRUE(QDir(QString::fromStdString(dir.File("elsewhere"))).entryList(QDir::Files).isEmpty());
}

TEST(RecoveryStore, DamagedEntriesAreSkippedAndLeftInPlace) {
    TempDir dir;
    const RecoveryStore store(dir.Path());
    ASSERT_TRUE(store.Write(Entry("9-1", 9), Picture(4, 4)));
    const struct {
        const char* name;
        std::string text;
    } sidecars[] = {
        {"1-1", ""},
        {"1-2", "Pid=12\nTitle=x\n"},
        {"1-3", "[Recovery]\nTitle=no pid\n"},
        {"1-4", "[Recovery]\nPid=abc\n"},
        {"1-5", "[Recovery]\nPid=-4\n"},
        {"1-6", "[Recovery]\nPid=12x\n"},
        {"1-7", "[Recovery]\nPid=99999999999999999999\n"},
        {"1-8", std::string("\x89PNG\0\0[Recovery]", 14)},
        {"1-9", "[Recovery]\nPid=5\n" + std::string(70000, 'x')},
    };
    for (const auto& s : sidecars) WriteText(dir.File(std::string(s.name) + ".ini"), s.text);
    std::vector<std::string> broken;
    const std::vector<RecoveryEntry> listed = store.List(&broken);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].name, "9-1");
    EXPECT_EQ(broken.size(), std::size(sidecars));
    for (const auto& s : sidecars)
        EXPECT_EQ(ReadText(dir.File(std::string(s.name) + ".ini")), s.text) << s.name;

    // A picture cut short or missing does not read; the sidecar stays.
    Image out;
    const std::string bmp = store.PicturePath("9-1");
    WriteText(bmp, ReadText(bmp).substr(0, 60));
    EXPECT_FALSE(store.ReadPicture(listed[0], out));
    ASSERT_EQ(unlink(bmp.c_str()), 0);
    EXPECT_FALSE(store.ReadPicture(listed[0], out));
    EXPECT_EQ(store.List().size(), 1u);
}

TEST(RecoveryStore, EntriesOfGoneOrForeignProcessesAreOrphans) {
    TempDir dir;
    const RecoveryStore store(dir.Path());
    // A process that has ended, and one alive that runs another program.
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    ASSERT_GT(gone, 0);
    ASSERT_EQ(waitpid(gone, nullptr, 0), gone);
    const pid_t other = fork();
    if (other == 0) {
        execlp("sleep", "sleep", "30", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(other, 0);
    // Until the exec, the child still runs this program.
    for (int i = 0; i < 5000 && IsLiveGlimmora(other); ++i) usleep(1000);

    const struct {
        long pid;
        bool orphan;
    } cases[] = {{getpid(), false}, {gone, true}, {other, true}, {1, true}};
    for (const auto& c : cases)
        ASSERT_TRUE(store.Write(Entry(std::to_string(c.pid) + "-1", c.pid), Picture(1, 1)));
    std::vector<long> orphans;
    for (const RecoveryEntry& e : store.Orphans()) orphans.push_back(e.pid);
    std::vector<long> expected;
    for (const auto& c : cases)
        if (c.orphan) expected.push_back(c.pid);
    std::sort(orphans.begin(), orphans.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(orphans, expected);
    EXPECT_FALSE(IsLiveGlimmora(0));
    kill(other, SIGKILL);
    waitpid(other, nullptr, 0);
}

// Off the calling thread: the newest picture of an entry is the one kept, an earlier run's entry goes only
// once its replacement is on the disk, a removal follows the write before it, and what is still queued
// when the writer ends is done.
TEST(RecoveryWriter, KeepsTheNewestPictureAndFinishesEverythingQueued) {
    TempDir dir;
    const RecoveryStore store(dir.File("recovery"));
    ASSERT_TRUE(store.Write(Entry("1-1", 1), Picture(3, 3)));
    const std::string name = RecoveryStore::EntryName(getpid(), 1),
                      other = RecoveryStore::EntryName(getpid(), 2);
    std::mutex mutex;
    std::vector<RecoveryWriter::Result> results;
    {
        RecoveryWriter writer(store, [&](const RecoveryWriter::Result& r) {
            std::lock_guard lock(mutex);
            results.push_back(r);
        });
        for (int h = 1; h <= 12; ++h) writer.Write(Entry(name, getpid()), Picture(4, h), {"1-1"});
        writer.Finish();
        Image back;
        ASSERT_TRUE(store.ReadPicture(Entry(name, getpid()), back));
        EXPECT_TRUE(SamePixels(back, Picture(4, 12)));
        EXPECT_FALSE(store.StillThere(Entry("1-1", 1)));
        EXPECT_TRUE(store.StillThere(Entry(name, getpid())));
        // Rewritten by another process: no longer the entry that was listed.
        EXPECT_FALSE(store.StillThere(Entry(name, getpid() + 1)));
        {
            std::lock_guard lock(mutex);
            ASSERT_FALSE(results.empty());
            EXPECT_TRUE(std::all_of(results.begin(), results.end(),
                                    [&](const auto& r) { return r.ok && r.name == name; }));
        }
        writer.Write(Entry(name, getpid()), Picture(2, 2));
        writer.Remove(name);
        writer.Write(Entry(other, getpid()), Picture(5, 5));
    }
    EXPECT_EQ(QDir(QString::fromStdString(store.Folder())).entryList(QDir::Files),
              QStringList({QString::fromStdString(other + ".bmp"), QString::fromStdString(other + ".ini")}));
}

// One run at a time may offer the orphans; the lock file is private and goes with the lock.
TEST(RecoveryStore, OnlyOneHolderOfTheOfferLock) {
    TempDir dir;
    const RecoveryStore store(dir.File("recovery"));
    bool elsewhere = true;
    const int lock = store.LockOffers(elsewhere);
    ASSERT_GE(lock, 0);
    EXPECT_FALSE(elsewhere);
    struct stat st;
    ASSERT_EQ(::lstat((store.Folder() + "/.offer.lock").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    // A second open of the file is a second holder, as another process would be.
    EXPECT_EQ(store.LockOffers(elsewhere), -1);
    EXPECT_TRUE(elsewhere);
    store.UnlockOffers(lock);
    EXPECT_TRUE(QDir(QString::fromStdString(store.Folder())).entryList(QDir::Files | QDir::Hidden).isEmpty());
    const int again = store.LockOffers(elsewhere);
    EXPECT_GE(again, 0);
    EXPECT_FALSE(elsewhere);
    store.UnlockOffers(again);
}

TEST(RecoveryStore, FolderAndIntervalFollowTheEnvironment) {
    const struct {
        const char* state;
        std::string folder;
    } folders[] = {
        {"/x/state", "/x/state/glimmora/recovery"},
        {"relative", QDir::homePath().toStdString() + "/.local/state/glimmora/recovery"},
        {nullptr, QDir::homePath().toStdString() + "/.local/state/glimmora/recovery"},
    };
    for (const auto& f : folders) {
        if (f.state)
            qputenv("XDG_STATE_HOME", f.state);
        else
            qunsetenv("XDG_STATE_HOME");
        EXPECT_EQ(RecoveryFolder(), f.folder);
    }
    const struct {
        const char* value;
        int seconds;
    } intervals[] = {{nullptr, 60}, {"1", 1}, {"0", 60}, {"-5", 60}, {"soon", 60}};
    for (const auto& i : intervals) {
        if (i.value)
            qputenv("GLIMMORA_RECOVERY_SECONDS", i.value);
        else
            qunsetenv("GLIMMORA_RECOVERY_SECONDS");
        EXPECT_EQ(RecoveryIntervalSeconds(), i.seconds);
    }
}

}  // namespace
}  // namespace glimmora
