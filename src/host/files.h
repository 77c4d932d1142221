// Files, links and the program's own whereabouts.
// Every function that can fail says so in its Status, with the system's error
// number (errno values on POSIX, GetLastError() values on Windows), for
// SystemErrorText.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/status.h"

namespace mergebridge {

enum class PathKind { Missing, File, Folder, Link, Other, Unreadable };

/// What is at a path, and a link's text.
struct PathState {
  PathKind kind = PathKind::Missing;
  std::string linkTarget;  // Link: the link's text
};

/// What is at `path`, without following a final symbolic link (POSIX only: on
/// Windows nothing is a Link). Unreadable: the system could not say (an error
/// other than a missing name).
PathState GetPathKind(const std::string& path);

/// The whole file, read without waiting on a FIFO (it reads as empty); a file
/// over kMaxFileBytes is refused (EFBIG, ERROR_FILE_TOO_LARGE).
Result<std::string> ReadWholeFile(const std::string& path);

/// Puts `bytes` in `path` in one step: written to a scratch file beside it
/// (`<path>.mergebridge-new.<pid>`, on POSIX with a random part after it, made
/// new so that nothing put there first is written through), flushed to disk, then moved over the
/// old one and the folder flushed, so that `path` always holds the old bytes or the new ones, also
/// after a power cut. Leftover scratch files in the folder are swept first (SweepScratchFiles). A
/// read-only file is refused (access denied) and left as it is; the new file keeps the old one's
/// permissions (POSIX).
Status ReplaceFileAtomically(const std::string& path, const std::string& bytes);

/// Removes the file; a file that is not there is no error.
/// Every change of names below is flushed to disk with its folder before the
/// call returns.
Status RemoveFileIfPresent(const std::string& path);

/// Moves `from` over `to` in one step.
Status MovePath(const std::string& from, const std::string& to);

/// True when `name` is one name in a folder: not empty, ".", ".." or holding a
/// path separator. Every change below is made by name in its folder opened
/// once, and refuses (EINVAL) a path whose last part is anything else.
bool IsPlainName(const std::string& name);

/// The folder that holds `path` ("." for a bare name).
std::string FolderOf(const std::string& path);

/// Puts the name `path` (new, changed or removed) on disk: POSIX flushes its
/// folder, where a rename is otherwise lost to a power cut; Windows has nothing
/// to do, its moves being written through.
Status FlushFolderOf(const std::string& path);

/// POSIX: makes `path` a symbolic link to `target` in one step, replacing
/// whatever file or link is there. Windows: not supported.
Status ReplaceWithLink(const std::string& path, const std::string& target);

/// POSIX: gives the file at `path` a second name `copyPath` (a hard link, a
/// copy where links are not possible); fails when `copyPath` exists.
Status KeepCopy(const std::string& path, const std::string& copyPath);

/// Makes the folder `path` (its parent must exist) and puts it on disk; one
/// already there is no error. POSIX: readable by every user, or with `own`
/// by its owner alone, whatever the umask. The value tells whether this call
/// made it (also when a later step failed).
Result<bool> MakeFolder(const std::string& path, bool own = false);

/// The names in a folder (no "." or ".."), sorted.
Result<std::vector<std::string>> ListFolder(const std::string& path);

/// What the name of a scratch file of ours holds between the name it replaces
/// and the number of the process that writes it.
constexpr char kScratchMark[] = ".mergebridge-new.";

/// The largest file ReadWholeFile takes: far above any settings file or map,
/// it keeps a path that leads to a device such as /dev/zero from eating memory.
constexpr size_t kMaxFileBytes = 64u << 20;
/// How much ReadWholeFile asks the system for at a time.
constexpr size_t kReadChunkBytes = 64u << 10;

/// Removes the scratch files of ours (`<name>.mergebridge-new.<pid>[.<random>]`) in
/// `folder` that no running process owns: what an interrupted run left.
/// Fails with the first error.
Status SweepScratchFiles(const std::string& folder);

/// True when a process other than this one runs under the number `id` and
/// may have written the file at `path`: numbers are reused, and a process that
/// started after the file was last written is not its owner.
bool ScratchOwnerRuns(unsigned long id, const std::string& path);

/// Where mergebridge-setup remembers the ClearCase installations it set up, so
/// that removing the package can take mergebridge out of each again and status
/// sees a repair of ClearCase undo the install: $MERGEBRIDGE_STATE_DIR, else
/// POSIX /var/lib/mergebridge, Windows the ProgramData known folder's
/// mergebridge (never from the environment; empty when Windows names none).
std::string SetupStateFolder();

/// Makes the state folder `folder` where it is missing (its parent must
/// exist) and checks the one there as CheckStateEntry does. Windows: made, or
/// given again, a protected access list: SYSTEM, Administrators and its owner
/// full, Users read. POSIX: MakeFolder.
Status MakeStateFolder(const std::string& folder);

/// Windows: refuses (a message in words) a state folder or record at `path`
/// that is a reparse point, which is never followed, or that an account other
/// than SYSTEM, Administrators or this one owns: another account could have
/// planted it or swapped it for a junction. Nothing there is no error. POSIX:
/// no check.
Status CheckStateEntry(const std::string& path);

/// The full path of the running program.
std::string OwnProgramPath();

/// The full path of `name` found through PATH (on Windows with ".exe" added),
/// or empty.
std::string SearchProgramPath(const std::string& name);

/// `path` made absolute against the current folder (no links resolved).
std::string AbsolutePath(const std::string& path);

/// True when `a` and `b` name the same file as the platform compares names:
/// ignoring case on Windows (each character upper-cased), byte for byte
/// elsewhere. No path is made absolute or looked up.
bool IsSamePathText(const std::string& a, const std::string& b);

/// True when `path` is a file this user may start as a program.
bool IsStartableProgram(const std::string& path);

/// True when the failure means the user lacks the rights for a change.
bool IsAccessDenied(const Status& status);

/// What to tell a user whose change was refused for want of rights.
std::string RightsHint();

/// The platform's path separator.
char PathSeparator();

/// True where ClearCase chooses each manager's programs through lib/mgrs/map
/// (Windows); false where each manager is a folder of method files (UNIX).
bool ManagersUseMap();

/// The program's arguments (without its name) as UTF-8: on Windows read again
/// from the wide command line, since `argv` holds the ANSI code page.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace mergebridge
