// The program's one door to the operating system (outside Qt and GDAL): files and their durable
// replacement, memory pages, the terminal and the environment. Platform.cpp holds a POSIX and a
// Windows implementation side by side; no other unit includes a system header.
//
// Paths are UTF-8 std::string throughout the program. The Windows implementation converts them
// to UTF-16 at every call, so that a job in "C:\Opmetings\Erf 12 – Nuwe Uitleg\" works; a
// std::filesystem::path made straight from a std::string would take the ANSI code page there, so
// the program converts with PathFromUtf8 and Utf8FromPath instead.
//
// Failures come back as std::error_code: errno values (generic category) on POSIX, the system's
// error codes (system category) on Windows. Both compare equal to the std::errc they stand for,
// e.g. a missing file to std::errc::no_such_file_or_directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace quorvalis::platform
{

// ---- paths ------------------------------------------------------------------------------------

/// The std::filesystem path of a UTF-8 path (the same bytes on POSIX).
std::filesystem::path PathFromUtf8(std::string_view utf8);
/// The UTF-8 text of a path (the same bytes on POSIX).
std::string Utf8FromPath(const std::filesystem::path& path);

// ---- files ------------------------------------------------------------------------------------

/// What the system says about a file.
struct GFileStatus
{
    /// An ordinary file: not a folder, device or (when links are not followed) a link.
    bool Regular = false;
    /// A symbolic link (only seen when links are not followed).
    bool SymbolicLink = false;
    /// Length in bytes.
    std::uint64_t Size = 0;
    /// Time of the last change of the content, nanoseconds since 1970-01-01 00:00 UTC (to 100 ns
    /// on Windows).
    std::int64_t ModifiedNanoseconds = 0;
    /// Number of names (hard links) of the file, >= 1.
    std::uint64_t Links = 0;
    /// Whether the file's owner may write it: the owner's write bit on POSIX (whoever runs the
    /// program, root included), no read-only attribute on Windows.
    bool OwnerMayWrite = false;
    /// The permission bits (07777) on POSIX; 0 on Windows.
    std::uint32_t Mode = 0;
};

/// The status of the file at path; with followLinks false a symbolic link is examined itself.
/// Fails (no_such_file_or_directory among others) when it does not exist or cannot be examined.
std::error_code FileStatusOf(const std::string& path, GFileStatus& status, bool followLinks = true);

/// Where the symbolic link at path points, as it is stored (absolute, or relative to the link's
/// folder), in target; nothing in target when path is no link or does not exist. Fails when a
/// link cannot be read.
std::error_code ReadLinkTarget(const std::string& path, std::optional<std::string>& target);

/// Renames from over to, replacing to when it exists, in one step that a crash leaves either
/// before or after: rename(2) on POSIX (follow with SyncFolderOf to make it durable);
/// MoveFileExW with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH on Windows, which
/// returns once the change is on the disk, and refuses a read-only target (access denied).
/// Flush from to the disk first (GNativeFile).
std::error_code RenameOver(const std::string& from, const std::string& to);

/// Makes the entries of the folder holding path durable (fsync of the folder on POSIX; nothing
/// on Windows, where RenameOver writes through). Failures are ignored: some filesystems refuse,
/// and the folder then holds either the old or the new entries, each complete.
void SyncFolderOf(const std::string& path);

/// Removes the file (or link) at path when there is one; a missing file is no failure. Looked up
/// first: removing refuses even a missing file on a read-only filesystem, where there is nothing
/// to clean.
std::error_code RemoveFileIfPresent(const std::string& path);

/// Gives the file at existing the further name newName (a hard link).
std::error_code MakeHardLink(const std::string& existing, const std::string& newName);

/// std::fopen of a UTF-8 path (_wfopen on Windows); nullptr with errno set on failure.
std::FILE* OpenStdioFile(const std::string& path, const char* mode);

/// An open file of the system, closed with the object. Opened without inheritance by child
/// processes; on Windows others may read, rename and remove it meanwhile, as on POSIX.
class GNativeFile
{
public:
    GNativeFile() = default;
    ~GNativeFile();
    GNativeFile(GNativeFile&& other) noexcept;
    GNativeFile& operator=(GNativeFile&& other) noexcept;
    GNativeFile(const GNativeFile&) = delete;
    GNativeFile& operator=(const GNativeFile&) = delete;

    /// Opens an existing file for reading (closing what was open).
    std::error_code OpenForReading(const std::string& path);
    /// Creates the file, or empties an existing one, for writing (closing what was open). New
    /// files may be read and written by everyone the umask allows on POSIX.
    std::error_code CreateForWriting(const std::string& path);
    bool IsOpen() const { return handle_ != kClosed; }

    /// The status of the open file.
    std::error_code Status(GFileStatus& status) const;
    /// Reads up to size bytes at the current position into data; count 0 at the end.
    std::error_code Read(void* data, std::size_t size, std::size_t& count);
    /// Reads up to size bytes at offset into data; count 0 at the end. The current position of
    /// Read is undefined afterwards.
    std::error_code ReadAt(std::uint64_t offset, void* data, std::size_t size,
                           std::size_t& count) const;
    /// Writes all size bytes at the current position.
    std::error_code Write(const void* data, std::size_t size);
    /// Makes everything written durable: fsync on POSIX, FlushFileBuffers on Windows.
    std::error_code FlushToDisk();
    /// Asks the system to start writing what was written so far to the disk, without waiting
    /// for it, so that FlushToDisk later has less to wait for. Only a hint: sync_file_range on
    /// Linux, nothing elsewhere; no error is reported.
    void StartFlushToDisk();
    /// Gives the file the permission bits of status (POSIX). Nothing on Windows: the read-only
    /// attribute would stop the file from replacing another, and a read-only target cannot be
    /// replaced there anyway.
    void TakePermissionsOf(const GFileStatus& status);
    /// Closes the file; a failure may report a write that did not reach the disk. Nothing when
    /// none is open.
    std::error_code Close();

private:
    static constexpr std::intptr_t kClosed = -1;
    // The descriptor on POSIX, the HANDLE on Windows.
    std::intptr_t handle_ = kClosed;
};

// ---- memory -----------------------------------------------------------------------------------

/// size bytes of zero-filled, page-aligned read-write memory straight from the system, with the
/// pages faulted in at once when populate (Linux; elsewhere as they are touched); nullptr when
/// none is left. Returned with UnmapPages.
void* MapPages(std::size_t size, bool populate);
/// Returns pages from MapPages or MapArena (nullptr is ignored).
void UnmapPages(void* pages, std::size_t size) noexcept;
/// size bytes (a multiple of 2 MiB) of read-write memory for a pool of small objects, in huge
/// pages where the system allows: transparent huge pages on Linux (advice only), large pages on
/// Windows when the user holds the right to lock pages in memory, ordinary pages otherwise;
/// nullptr when none is left.
void* MapArena(std::size_t size);

// ---- terminal and environment -----------------------------------------------------------------

/// Whether standard error is a terminal that takes the escape sequences of a progress line: a
/// terminal on POSIX; a console on Windows, whose escape processing this switches on (false when
/// the console refuses).
bool StandardErrorIsTerminal();
/// Number of columns of the terminal stream writes to; 0 when it is no terminal or the width is
/// unknown.
int TerminalColumns(std::FILE* stream);

/// The value of the environment variable name (UTF-8), or nothing when it is not set.
std::optional<std::string> EnvironmentValue(const std::string& name);
/// Sets the environment variable name of this process to value (UTF-8).
std::error_code SetEnvironmentValue(const std::string& name, const std::string& value);

} // namespace quorvalis::platform
