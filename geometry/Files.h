// Small file helpers and the crash-safe writer behind every file the program writes.
#pragma once

#include <cstddef>
#include <cstdint>
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

/// Writes a file completely or not at all: the data goes to a temporary file in the target's
/// folder, which Commit flushes, syncs to disk and renames over the target (then syncs the
/// folder). Until Commit the target is untouched; an object destroyed without Commit (an error
/// on the way, a write failure) removes its temporary and leaves the target as it was.
///
/// Writes are buffered (1 MiB), so millions of small writes cost little. Any failure raises
/// GFileException naming the file; after a failure the object only cleans up.
/// Not thread-safe; an object is used by one thread.
class GAtomicFile
{
public:
    /// Opens (creates or truncates) the temporary at once; the default temporary is targetPath +
    /// ".tmp~". If the target exists its permission bits are given to the temporary. Raises
    /// GFileException naming the temporary when it cannot be created.
    explicit GAtomicFile(std::string targetPath, std::string temporaryPath = {});
    /// Closes and removes the temporary unless committed.
    ~GAtomicFile();
    GAtomicFile(const GAtomicFile&) = delete;
    GAtomicFile& operator=(const GAtomicFile&) = delete;

    void Write(const void* data, std::size_t size);
    void Write(std::string_view text);
    /// Writes the buffer out and fsyncs the temporary.
    void Sync();
    /// Sync (if anything was written since), close, rename over the target, fsync the folder.
    /// Calling it again after success does nothing.
    void Commit();

    const std::string& TargetPath() const { return targetPath_; }
    const std::string& TemporaryPath() const { return temporaryPath_; }
    /// Bytes handed to Write so far (buffered or not).
    std::uint64_t Size() const { return size_; }
    bool Committed() const { return committed_; }

    /// Test seam: once `bytes` bytes in total have reached the disk through GAtomicFile objects
    /// since this call, further writes fail as if the disk were full (ENOSPC). std::nullopt
    /// switches it off. Shared by all objects of the process.
    static void InjectFailureAfter(std::optional<std::uint64_t> bytes);

private:
    void Flush();
    void WriteOut(const std::uint8_t* data, std::size_t size);
    void CloseDescriptor() noexcept;
    [[noreturn]] void Fail(const char* action, const std::string& path, int error);

    std::string targetPath_;
    std::string temporaryPath_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t size_ = 0;
    int descriptor_ = -1;
    bool synced_ = false;
    bool committed_ = false;
    bool failed_ = false;
};

/// Replaces the file at path with contents, completely or not at all (see GAtomicFile).
void WriteFileAtomically(const std::string& path, std::string_view contents);

} // namespace quorvalis
