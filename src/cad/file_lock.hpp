// Marking a file as in use, as CAD programs mark an open drawing: a lock
// file beside it (for PLAN.dxf, "~PLAN.dxf.lock") says who has it and since
// when, and a lock on that file held by the running program says that it is
// still there. A lock whose program has gone (killed, crashed) is stale and
// taken over; one held by a running program is refused, with its holder.
//
// Two kinds of holding share one lock file: a session (the window has the
// drawing open, for as long as it does) and a save (FileReplacement, for the
// time of one save). A save in the program that holds the session goes on;
// any other second holder is refused, so that two programs never both
// believe a file is theirs, and two saves of one file never both succeed.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "cad/error.hpp"

namespace cad {

struct LockOwner {
    std::string user;   // login name
    std::string host;   // machine
    long pid = 0;       // process on that machine
    std::string since;  // when it took the lock: "2026-12-09 02:37 UTC"
};

// "пользователь ivan на машине pc1 (процесс 123) с 2026-12-09 02:37 UTC"
std::string describeOwner(const LockOwner& owner);

// The lock file of `file`: "~NAME.lock" beside it (beside the file its links
// name); a short name made from the file's when NAME is too long for that.
std::filesystem::path lockFilePath(const std::filesystem::path& file);

// The file is held by another running program (or by another session of
// this one); the message says who and since when.
class FileLocked : public Error {
  public:
    FileLocked(const std::string& message, LockOwner owner)
        : Error(message), owner_(std::move(owner)) {}
    const LockOwner& owner() const { return owner_; }

  private:
    LockOwner owner_;
};

class FileLock {
  public:
    // Takes the session lock of `file` (it need not exist yet). FileLocked
    // when another running program, or another session of this program,
    // holds it. A folder that takes no files gives a lock that marks nothing
    // (nobody can save there either). cad::Error for a lock file that is no
    // regular file.
    static FileLock session(const std::filesystem::path& file);
    // For the time of one save of `file`: goes on when this program holds
    // the session; FileLocked when another save or program holds it (its
    // message a clause: "его сейчас держит ... : пользователь ...").
    static FileLock save(const std::filesystem::path& file);

    FileLock() noexcept;
    FileLock(FileLock&&) noexcept;
    FileLock& operator=(FileLock&&) noexcept;
    ~FileLock();  // the lock file goes, unless a session of this program still needs it

    // Not empty when a stale lock was taken over: whose it was.
    const std::string& note() const { return note_; }
    bool held() const { return state_ != nullptr; }

  private:
    struct State;
    std::unique_ptr<State> state_;
    std::string note_;
};

}  // namespace cad
