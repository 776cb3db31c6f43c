// A drawing open in one program is marked by a lock file beside it: another
// program (or a second window of the same one) is told who has it and since
// when, and cannot save over it; a lock whose program is gone is taken over
// with a note; a lock file that is no file is refused without waiting on it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "cad/error.hpp"
#include "cad/file_lock.hpp"
#include "cad/platform.hpp"
#include "shell_util.hpp"

namespace fs = std::filesystem;

namespace cad {
namespace {

// A child process holding the session lock of `file` until it is killed.
pid_t holdInChild(const fs::path& file) {
    int ready[2];
    if (::pipe(ready) != 0) return -1;
    pid_t pid = ::fork();
    if (pid == 0) {
        ::close(ready[0]);
        auto* lock = new FileLock(FileLock::session(file));
        (void)lock;
        char c = 1;
        (void)!::write(ready[1], &c, 1);
        for (;;) ::pause();
    }
    ::close(ready[1]);
    char c = 0;
    (void)!::read(ready[0], &c, 1);
    ::close(ready[0]);
    return pid;
}

std::string pidText(long pid) {
    return "процесс " + std::to_string(pid) + ")";
}

TEST(FileLock, AnOpenDrawingIsOthersToReadOnlyUntilItsProgramGoes) {
    testutil::ScratchDir dir("kv_lock");
    const fs::path plan = dir / "plan.dxf";
    std::ofstream(plan) << "drawing";
    const pid_t holder = holdInChild(plan);
    ASSERT_GT(holder, 0);
    EXPECT_TRUE(fs::exists(dir / "~plan.dxf.lock"));

    try {
        (void)FileLock::session(plan);
        ADD_FAILURE() << "a drawing open elsewhere was taken";
    } catch (const FileLocked& e) {
        EXPECT_EQ(e.owner().pid, holder);
        EXPECT_FALSE(e.owner().user.empty());
        EXPECT_NE(e.owner().since.find(" UTC"), std::string::npos) << e.owner().since;
        const std::string m = e.what();
        EXPECT_NE(m.find("«plan.dxf» уже открыт"), std::string::npos) << m;
        EXPECT_NE(m.find(pidText(holder)), std::string::npos) << m;
    }
    // Nor saved over, through a link to it either.
    fs::create_symlink("plan.dxf", dir / "link.dxf");
    EXPECT_THROW(FileReplacement{dir / "link.dxf"}, FileLocked);
    EXPECT_EQ(testutil::readText(plan), "drawing");

    ::kill(holder, SIGKILL);
    int status = 0;
    ::waitpid(holder, &status, 0);
    {
        FileLock mine = FileLock::session(plan);
        EXPECT_NE(mine.note().find(pidText(holder)), std::string::npos) << mine.note();
        EXPECT_NE(
            testutil::readText(dir / "~plan.dxf.lock").find("pid=" + std::to_string(::getpid())),
            std::string::npos);
        // A second window of this program is refused too; its own saves go on.
        EXPECT_THROW((void)FileLock::session(dir / "link.dxf"), FileLocked);
        FileReplacement save(plan);
        save.write("saved");
        save.commit(true);
        EXPECT_EQ(testutil::readText(plan), "saved");
        EXPECT_TRUE(fs::exists(dir / "~plan.dxf.lock"));
    }
    EXPECT_FALSE(fs::exists(dir / "~plan.dxf.lock"));
}

TEST(FileLock, WhatCannotBeALockFileIsRefusedAtOnce) {
    testutil::ScratchDir dir("kv_lock");
    // A pipe under the lock's name: opening it for reading would wait forever.
    ASSERT_EQ(::mkfifo((dir / "~pipe.dxf.lock").c_str(), 0600), 0);
    EXPECT_THROW((void)FileLock::session(dir / "pipe.dxf"), Error);
    fs::create_directory(dir / "~folder.dxf.lock");
    EXPECT_THROW((void)FileLock::session(dir / "folder.dxf"), Error);
    // A lock written on another machine: only that machine can tell whether
    // its program is gone, so it stands.
    std::ofstream(dir / "~shared.dxf.lock")
        << "Kernavisto\nuser=ivan\nhost=elsewhere.invalid\npid=1\nsince=2026-12-01 08:00 UTC\n";
    const std::string m = testutil::messageOf<FileLocked>(
        [&] { (void)FileLock::session(dir / "shared.dxf"); }, "a foreign lock was taken over");
    EXPECT_NE(m.find("ivan на машине elsewhere.invalid"), std::string::npos) << m;
    // A name too long for the lock's own still gets one.
    const fs::path longName = dir / (std::string(250, 'p') + ".dxf");
    FileLock lock = FileLock::session(longName);
    EXPECT_LE(lockFilePath(longName).filename().string().size(), 255u);
    EXPECT_TRUE(fs::exists(lockFilePath(longName)));
}

}  // namespace
}  // namespace cad
