// Small file helpers and the crash-safe writer behind every file the program writes.
#pragma once

#include "geometry/Platform.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace quorvalis
{

/// Raised when a file cannot be created, read, written, synced or renamed. The message names the
/// file and the operating system's error, e.g.
/// "Cannot write file \"/data/out.txt.tmp~\": No space left on device".
class GFileException : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// Number of lines of a text file (>= 0): 0 when the file does not exist or is empty; a last
/// line without a line break counts. Line breaks are LF, CR LF or a lone CR. Raises
/// GFileException naming the file when it exists but cannot be read.
std::int32_t CountLines(const std::string& fileName);

/// Whether the file's owner may write it: a write bit for the owner on POSIX (whoever runs the
/// program, root included), no read-only attribute on Windows. False when the file does not
/// exist or cannot be examined.
bool OwnerMayWrite(const std::string& fileName);

/// The file a path finally names: symbolic links are followed one by one (a relative link target
/// is taken from the link's folder), so that the path of a link gives the path of the file it
/// points to; any other path comes back as it is. A link to a file that does not exist gives
/// where that file would be. Raises GFileException naming the path for a chain of more than 40
/// links (a loop) or a link that cannot be read.
std::string ResolveSymbolicLinks(const std::string& path);

/// Number of names (hard links) the file has, links followed: 1 for an ordinary file, more when
/// the same file is reachable under other names too (replacing it would split them), 0 when it
/// does not exist or cannot be examined.
std::uint64_t HardLinkCount(const std::string& path);

/// A 64-bit hash of a byte sequence, fed in pieces of any size (the result depends only on the
/// bytes). Detects changed files together with their size and time; not cryptographic.
class GContentHash
{
public:
    void Update(const void* data, std::size_t size);
    std::uint64_t Value() const;

private:
    // Four lanes, one per 8-byte word of each 32-byte block, so that the multiplications of a
    // block run side by side.
    std::uint64_t lanes_[4] = {0x6A09E667F3BCC908ULL, 0xBB67AE8584CAA73BULL, 0x3C6EF372FE94F82BULL,
                               0xA54FF53A5F1D36F1ULL};
    std::uint64_t length_ = 0;
    std::uint8_t tail_[32] = {};
    std::size_t tailSize_ = 0;
};

/// What identifies a file's content for a commit marker: its size in bytes, its modification
/// time (nanoseconds since 1970) and the GContentHash of its bytes.
struct GFileIdentity
{
    std::uint64_t Size = 0;
    std::int64_t ModifiedNanoseconds = 0;
    std::uint64_t Hash = 0;
    bool operator==(const GFileIdentity&) const = default;
};

/// The identity of the file at path (links followed; the whole file is read), or nothing when
/// it does not exist. Raises GFileException when it exists but cannot be read.
std::optional<GFileIdentity> FileIdentityOf(const std::string& path);

/// Writes a file completely or not at all: the data goes to a temporary file in the target's
/// folder, which Commit flushes, syncs to disk and renames over the target (then syncs the
/// folder). Until Commit the target is untouched; an object destroyed without Commit (an error
/// on the way, a write failure) removes its temporary and leaves the target as it was.
///
/// A target that is a symbolic link is resolved first (ResolveSymbolicLinks): the file it points
/// to is replaced, the temporary lies in that file's folder, and the link stays a link. A file
/// with several hard links is replaced under this name only (the other names keep the old
/// content); callers that care ask HardLinkCount first.
///
/// Writes are buffered (1 MiB), so millions of small writes cost little. Any failure raises
/// GFileException naming the file; after a failure the object only cleans up.
/// Not thread-safe; an object is used by one thread.
class GAtomicFile
{
public:
    /// Opens (creates or truncates) the temporary at once; the default temporary is the resolved
    /// target + ".tmp~"; a temporary given for a target that is a link is moved into the resolved
    /// target's folder under its own file name. If the target exists its permission bits are
    /// given to the temporary. Raises GFileException naming the temporary when it cannot be
    /// created.
    explicit GAtomicFile(std::string targetPath, std::string temporaryPath = {});
    /// Closes and removes the temporary unless committed.
    ~GAtomicFile();
    GAtomicFile(const GAtomicFile&) = delete;
    GAtomicFile& operator=(const GAtomicFile&) = delete;

    void Write(const void* data, std::size_t size);
    void Write(std::string_view text);
    /// Writes the buffer out and flushes the temporary to the disk.
    void Sync();
    /// Sync (if anything was written since), close, rename over the target and make the rename
    /// durable (platform::RenameOver, platform::SyncFolderOf).
    /// Calling it again after success does nothing.
    void Commit();

    /// The file replaced: the target given, links resolved.
    const std::string& TargetPath() const { return targetPath_; }
    const std::string& TemporaryPath() const { return temporaryPath_; }
    /// Bytes handed to Write so far (buffered or not).
    std::uint64_t Size() const { return size_; }
    /// The GContentHash of the bytes handed to Write so far.
    std::uint64_t ContentHash() const { return hash_.Value(); }
    bool Committed() const { return committed_; }

    /// Test seam: once `bytes` bytes in total have reached the disk through GAtomicFile objects
    /// since this call, further writes fail as if the disk were full (ENOSPC). std::nullopt
    /// switches it off. Shared by all objects of the process.
    static void InjectFailureAfter(std::optional<std::uint64_t> bytes);

private:
    friend class GFileSetCommit;
    // Gives the temporary the permission bits of the file at path, when there is one.
    void CopyModeFrom(const std::string& path);
    void Flush();
    void WriteOut(const std::uint8_t* data, std::size_t size);
    [[noreturn]] void Fail(const char* action, const std::string& path, std::error_code error);

    std::string targetPath_;
    std::string temporaryPath_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t size_ = 0;
    GContentHash hash_;
    platform::GNativeFile file_;
    bool synced_ = false;
    bool committed_ = false;
    bool failed_ = false;
};

/// Replaces the file at path with contents, completely or not at all (see GAtomicFile).
void WriteFileAtomically(const std::string& path, std::string_view contents);

/// Replaces and removes several files of one data set in one step that a crash, a kill or a full
/// disk cannot tear: every new file is first written completely and durably beside the one it
/// replaces (as "<file>.new~"); then a commit marker is written that names every file with the
/// identity of its old content and of its new one; then the new files are renamed over the old
/// ones and the files to remove are removed; then the marker goes. Links are resolved: the files
/// they point to are the ones replaced, each in its own folder.
///
/// After a crash, RecoverFileSet finishes the step (marker present and every file still either
/// its old content or already its new one) or abandons it (anything else: nothing is overwritten,
/// the staged new files and the marker are removed). Without a marker the staged files were never
/// valid; the owner of the data set removes them (StagingPathOf names them).
///
/// A set of one file to replace needs no marker: its rename is the commit.
///
/// An object destroyed without Commit removes what it staged and leaves every file as it was.
/// Failures raise GFileException naming the file.
class GFileSetCommit
{
public:
    /// markerPath: where the marker goes, by convention beside the data set's main file.
    explicit GFileSetCommit(std::string markerPath);
    ~GFileSetCommit();
    GFileSetCommit(const GFileSetCommit&) = delete;
    GFileSetCommit& operator=(const GFileSetCommit&) = delete;

    /// Starts the new content of target (which need not exist yet); the writer belongs to this
    /// object. Raises GFileException when target is already part of the set.
    GAtomicFile& Replace(const std::string& target);
    /// The commit removes target (when it exists then).
    void Remove(const std::string& target);
    /// Makes every staged file complete and durable ("<file>.new~" holds it from then on), so
    /// that it can be read before the commit. Commit calls it.
    void Stage();
    /// Stage, marker, renames and removals, marker removed. A failure before the marker is
    /// written leaves every file as it was; once the marker exists the new files are the valid
    /// ones and a failure is finished by the next recovery. Calling it again does nothing.
    void Commit();
    /// The staged file of target (Stage must have been called): its resolved, absolute path +
    /// ".new~".
    std::string StagedPath(const std::string& target) const;

    /// Test seam: called with "staged", "marker", "renamed <file>" and "removed <file>" as the
    /// commit passes each point; a hook that ends the process leaves the files as a crash
    /// there would. An empty function removes it.
    static void SetStepHook(std::function<void(const std::string& step)> hook);

private:
    struct Entry;
    std::string markerPath_;
    std::vector<std::unique_ptr<Entry>> entries_;
    bool committed_ = false;
};

/// Where GFileSetCommit stages the new content of path: its resolved path + ".new~".
std::string StagingPathOf(const std::string& path);

/// What RecoverFileSet found and did.
struct GFileSetRecovery
{
    enum State
    {
        /// No marker: nothing was interrupted after it became valid.
        NoMarker,
        /// The marker is not one GFileSetCommit writes (left by an older version); untouched.
        UnknownMarker,
        /// Finished: every file now holds its new content.
        Finished,
        /// Abandoned: files had changed since; the staged files and the marker were removed.
        Abandoned,
        /// Found while only inspecting, every file still its old content (or every one already
        /// its new content): the files on disk belong together.
        Pending,
        /// Found while only inspecting, some files old and some new: they do not belong
        /// together.
        Torn,
        /// Found while only inspecting, files changed since: a recovery would abandon it.
        Stale,
    };
    State Result = NoMarker;
    /// The files of the set (resolved, absolute paths), in the order of the marker.
    std::vector<std::string> Files;
    /// The staged files and the marker removed when abandoned.
    std::vector<std::string> Removed;
};

/// Finishes or abandons the commit whose marker is at markerPath (see GFileSetCommit), or with
/// inspectOnly only says what it would find, changing nothing. Also removes a half-written
/// marker left beside it (not when inspecting).
GFileSetRecovery RecoverFileSet(const std::string& markerPath, bool inspectOnly);

/// Copies a file's bytes to a new path (hard link where the filesystem allows, a copy
/// otherwise); raises GFileException naming the file.
void LinkOrCopyFile(const std::string& from, const std::string& to);

} // namespace quorvalis
