#include "geometry/Platform.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

// The only system headers of the program. Each topic below has its Windows implementation next
// to its POSIX one.
#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <io.h>
#include <winioctl.h>
#else
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quorvalis::platform
{

namespace
{

#if defined(_WIN32)

std::error_code LastError()
{
    return {static_cast<int>(::GetLastError()), std::system_category()};
}

std::wstring Wide(std::string_view utf8)
{
    if (utf8.empty())
        return {};
    const int size = static_cast<int>(std::min<std::size_t>(utf8.size(), INT_MAX));
    const int count = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(count, 0)), L'\0');
    if (count > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), count);
    return wide;
}

std::string Narrow(std::wstring_view wide)
{
    if (wide.empty())
        return {};
    const int size = static_cast<int>(std::min<std::size_t>(wide.size(), INT_MAX));
    const int count =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(std::max(count, 0)), '\0');
    if (count > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), count, nullptr, nullptr);
    return utf8;
}

HANDLE AsHandle(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

// FILETIME counts 100 ns from 1601-01-01.
std::int64_t UnixNanoseconds(const FILETIME& time)
{
    constexpr std::int64_t kTicksFrom1601To1970 = 116'444'736'000'000'000;
    const auto ticks =
        static_cast<std::int64_t>((std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
    return (ticks - kTicksFrom1601To1970) * 100;
}

void FillStatus(const BY_HANDLE_FILE_INFORMATION& info, GFileStatus& status)
{
    status.Regular =
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
    status.Size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    status.ModifiedNanoseconds = UnixNanoseconds(info.ftLastWriteTime);
    status.Links = info.nNumberOfLinks;
    status.OwnerMayWrite = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0;
    status.Mode = 0;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Largest piece handed to one ReadFile or WriteFile (their counts are 32-bit).
constexpr std::size_t kLargestTransfer = std::size_t{1} << 30;

#else

std::error_code LastError()
{
    return {errno, std::generic_category()};
}

void FillStatus(const struct stat& info, GFileStatus& status)
{
    status.Regular = S_ISREG(info.st_mode);
    status.SymbolicLink = S_ISLNK(info.st_mode);
    status.Size = static_cast<std::uint64_t>(info.st_size);
#if defined(__APPLE__)
    const timespec& modified = info.st_mtimespec;
#else
    const timespec& modified = info.st_mtim;
#endif
    status.ModifiedNanoseconds =
        static_cast<std::int64_t>(modified.tv_sec) * 1'000'000'000 + modified.tv_nsec;
    status.Links = static_cast<std::uint64_t>(info.st_nlink);
    status.OwnerMayWrite = (info.st_mode & S_IWUSR) != 0;
    status.Mode = static_cast<std::uint32_t>(info.st_mode & 07777);
}

#endif

} // namespace

// ---- paths ------------------------------------------------------------------------------------

#if defined(_WIN32)

std::filesystem::path PathFromUtf8(std::string_view utf8)
{
    return std::filesystem::path(Wide(utf8));
}

std::string Utf8FromPath(const std::filesystem::path& path)
{
    return Narrow(path.native());
}

#else

std::filesystem::path PathFromUtf8(std::string_view utf8)
{
    return std::filesystem::path(std::string(utf8));
}

std::string Utf8FromPath(const std::filesystem::path& path)
{
    return path.native();
}

#endif

// ---- files by name ----------------------------------------------------------------------------

#if defined(_WIN32)

std::error_code FileStatusOf(const std::string& path, GFileStatus& status, bool followLinks)
{
    status = GFileStatus{};
    // Folders open only with backup semantics; a link itself only with the reparse flag.
    const HANDLE handle = ::CreateFileW(
        Wide(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return LastError();
    BY_HANDLE_FILE_INFORMATION info{};
    std::error_code error;
    if (::GetFileInformationByHandle(handle, &info))
    {
        FillStatus(info, status);
        FILE_ATTRIBUTE_TAG_INFO tag{};
        if (!followLinks && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
            ::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) &&
            tag.ReparseTag == IO_REPARSE_TAG_SYMLINK)
        {
            status.SymbolicLink = true;
            status.Regular = false;
        }
    }
    else
        error = LastError();
    ::CloseHandle(handle);
    return error;
}

std::error_code ReadLinkTarget(const std::string& path, std::optional<std::string>& target)
{
    target.reset();
    const std::wstring wide = Wide(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return {};
    const HANDLE handle =
        ::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return LastError();
    // The reparse data of a symbolic link: tag, lengths, then the substitute and print names
    // (UTF-16, offsets and lengths in bytes from the start of the names).
    constexpr std::size_t kMaximumReparseData = 16 * 1024;
    constexpr std::size_t kNamesStart = 20;
    constexpr std::uint32_t kRelative = 1;
    std::vector<std::uint32_t> storage(kMaximumReparseData / sizeof(std::uint32_t));
    auto* data = reinterpret_cast<unsigned char*>(storage.data());
    DWORD returned = 0;
    const BOOL read =
        ::DeviceIoControl(handle, FSCTL_GET_REPARSE_POINT, nullptr, 0, data,
                          static_cast<DWORD>(kMaximumReparseData), &returned, nullptr);
    const std::error_code error = read ? std::error_code() : LastError();
    ::CloseHandle(handle);
    if (error)
        return error.value() == ERROR_NOT_A_REPARSE_POINT ? std::error_code() : error;
    const auto field16 = [data](std::size_t at)
    {
        std::uint16_t value = 0;
        std::memcpy(&value, data + at, sizeof value);
        return std::size_t{value};
    };
    std::uint32_t tag = 0;
    std::uint32_t flags = 0;
    if (returned < kNamesStart)
        return std::make_error_code(std::errc::invalid_argument);
    std::memcpy(&tag, data, sizeof tag);
    if (tag != IO_REPARSE_TAG_SYMLINK)
        return {}; // a junction or another kind of reparse point: no file link
    std::memcpy(&flags, data + 16, sizeof flags);
    const auto name = [&](std::size_t offsetAt, std::size_t lengthAt, std::wstring& text) -> bool
    {
        const std::size_t offset = field16(offsetAt);
        const std::size_t length = field16(lengthAt);
        if (kNamesStart + offset + length > returned || length % 2 != 0)
            return false;
        text.resize(length / 2);
        std::memcpy(text.data(), data + kNamesStart + offset, length);
        return true;
    };
    std::wstring substitute;
    std::wstring print;
    if (!name(8, 10, substitute) || !name(12, 14, print))
        return std::make_error_code(std::errc::invalid_argument);
    std::wstring result = print;
    if (result.empty())
    {
        // The substitute name of an absolute link is an NT path: "\??\C:\..." or "\??\UNC\...".
        result = substitute;
        if ((flags & kRelative) == 0 && result.rfind(L"\\??\\UNC\\", 0) == 0)
            result = L"\\\\" + result.substr(8);
        else if ((flags & kRelative) == 0 && result.rfind(L"\\??\\", 0) == 0)
            result = result.substr(4);
    }
    target = Narrow(result);
    return {};
}

std::error_code RenameOver(const std::string& from, const std::string& to)
{
    const std::wstring target = Wide(to);
    // Windows refuses to replace a read-only file; asked first, so that every system that runs
    // Windows programs (Wine too) refuses alike.
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return {ERROR_ACCESS_DENIED, std::system_category()};
    if (::MoveFileExW(Wide(from).c_str(), target.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return {};
    return LastError();
}

void SyncFolderOf(const std::string&) {}

std::error_code RemoveFileIfPresent(const std::string& path)
{
    const std::wstring wide = Wide(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return {};
    // A link to a folder is removed as a folder.
    const bool folderLink = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                            (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (folderLink ? ::RemoveDirectoryW(wide.c_str()) : ::DeleteFileW(wide.c_str()))
        return {};
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return {};
    return {static_cast<int>(error), std::system_category()};
}

std::error_code MakeHardLink(const std::string& existing, const std::string& newName)
{
    if (::CreateHardLinkW(Wide(newName).c_str(), Wide(existing).c_str(), nullptr))
        return {};
    return LastError();
}

std::FILE* OpenStdioFile(const std::string& path, const char* mode)
{
    return ::_wfopen(Wide(path).c_str(), Wide(mode).c_str());
}

#else

std::error_code FileStatusOf(const std::string& path, GFileStatus& status, bool followLinks)
{
    status = GFileStatus{};
    struct stat info
    {
    };
    const int result = followLinks ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info);
    if (result != 0)
        return LastError();
    FillStatus(info, status);
    return {};
}

std::error_code ReadLinkTarget(const std::string& path, std::optional<std::string>& target)
{
    target.reset();
    struct stat info
    {
    };
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return {};
    std::string text(static_cast<std::size_t>(std::max<off_t>(info.st_size, 0)) + 256, '\0');
    const ssize_t n = ::readlink(path.c_str(), text.data(), text.size());
    if (n < 0)
        return LastError();
    if (static_cast<std::size_t>(n) >= text.size()) // grew meanwhile
        return std::make_error_code(std::errc::filename_too_long);
    text.resize(static_cast<std::size_t>(n));
    target = std::move(text);
    return {};
}

std::error_code RenameOver(const std::string& from, const std::string& to)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        return LastError();
    return {};
}

void SyncFolderOf(const std::string& path)
{
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty())
        folder = ".";
    const int directory = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0)
    {
        (void)::fsync(directory);
        ::close(directory);
    }
}

std::error_code RemoveFileIfPresent(const std::string& path)
{
    struct stat info
    {
    };
    if (::lstat(path.c_str(), &info) != 0)
        return {};
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        return LastError();
    return {};
}

std::error_code MakeHardLink(const std::string& existing, const std::string& newName)
{
    if (::link(existing.c_str(), newName.c_str()) != 0)
        return LastError();
    return {};
}

std::FILE* OpenStdioFile(const std::string& path, const char* mode)
{
    return std::fopen(path.c_str(), mode);
}

#endif

// ---- open files -------------------------------------------------------------------------------

GNativeFile::~GNativeFile()
{
    (void)Close();
}

GNativeFile::GNativeFile(GNativeFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kClosed))
{
}

GNativeFile& GNativeFile::operator=(GNativeFile&& other) noexcept
{
    if (this != &other)
    {
        (void)Close();
        handle_ = std::exchange(other.handle_, kClosed);
    }
    return *this;
}

#if defined(_WIN32)

std::error_code GNativeFile::OpenForReading(const std::string& path)
{
    (void)Close();
    const HANDLE handle = ::CreateFileW(Wide(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return LastError();
    handle_ = reinterpret_cast<std::intptr_t>(handle);
    return {};
}

std::error_code GNativeFile::CreateForWriting(const std::string& path)
{
    (void)Close();
    const HANDLE handle =
        ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return LastError();
    handle_ = reinterpret_cast<std::intptr_t>(handle);
    return {};
}

std::error_code GNativeFile::Status(GFileStatus& status) const
{
    status = GFileStatus{};
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(AsHandle(handle_), &info))
        return LastError();
    FillStatus(info, status);
    return {};
}

std::error_code GNativeFile::Read(void* data, std::size_t size, std::size_t& count)
{
    DWORD n = 0;
    count = 0;
    if (!::ReadFile(AsHandle(handle_), data, static_cast<DWORD>(std::min(size, kLargestTransfer)),
                    &n, nullptr))
        return LastError();
    count = n;
    return {};
}

std::error_code GNativeFile::ReadAt(std::uint64_t offset, void* data, std::size_t size,
                                    std::size_t& count) const
{
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD n = 0;
    count = 0;
    if (!::ReadFile(AsHandle(handle_), data, static_cast<DWORD>(std::min(size, kLargestTransfer)),
                    &n, &at))
    {
        const DWORD error = ::GetLastError();
        return error == ERROR_HANDLE_EOF
                   ? std::error_code()
                   : std::error_code(static_cast<int>(error), std::system_category());
    }
    count = n;
    return {};
}

std::error_code GNativeFile::Write(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0)
    {
        DWORD n = 0;
        if (!::WriteFile(AsHandle(handle_), bytes,
                         static_cast<DWORD>(std::min(size, kLargestTransfer)), &n, nullptr))
            return LastError();
        bytes += n;
        size -= n;
    }
    return {};
}

std::error_code GNativeFile::FlushToDisk()
{
    if (!::FlushFileBuffers(AsHandle(handle_)))
        return LastError();
    return {};
}

void GNativeFile::StartFlushToDisk() {}

void GNativeFile::TakePermissionsOf(const GFileStatus&) {}

std::error_code GNativeFile::Close()
{
    if (handle_ == kClosed)
        return {};
    const HANDLE handle = AsHandle(std::exchange(handle_, kClosed));
    if (!::CloseHandle(handle))
        return LastError();
    return {};
}

#else

std::error_code GNativeFile::OpenForReading(const std::string& path)
{
    (void)Close();
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return LastError();
    handle_ = descriptor;
    return {};
}

std::error_code GNativeFile::CreateForWriting(const std::string& path)
{
    (void)Close();
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor < 0)
        return LastError();
    handle_ = descriptor;
    return {};
}

std::error_code GNativeFile::Status(GFileStatus& status) const
{
    status = GFileStatus{};
    struct stat info
    {
    };
    if (::fstat(static_cast<int>(handle_), &info) != 0)
        return LastError();
    FillStatus(info, status);
    return {};
}

std::error_code GNativeFile::Read(void* data, std::size_t size, std::size_t& count)
{
    count = 0;
    for (;;)
    {
        const ssize_t n = ::read(static_cast<int>(handle_), data, size);
        if (n >= 0)
        {
            count = static_cast<std::size_t>(n);
            return {};
        }
        if (errno != EINTR)
            return LastError();
    }
}

std::error_code GNativeFile::ReadAt(std::uint64_t offset, void* data, std::size_t size,
                                    std::size_t& count) const
{
    count = 0;
    for (;;)
    {
        const ssize_t n =
            ::pread(static_cast<int>(handle_), data, size, static_cast<off_t>(offset));
        if (n >= 0)
        {
            count = static_cast<std::size_t>(n);
            return {};
        }
        if (errno != EINTR)
            return LastError();
    }
}

std::error_code GNativeFile::Write(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0)
    {
        const ssize_t n = ::write(static_cast<int>(handle_), bytes, size);
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            return LastError();
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return {};
}

std::error_code GNativeFile::FlushToDisk()
{
    if (::fsync(static_cast<int>(handle_)) != 0)
        return LastError();
    return {};
}

void GNativeFile::StartFlushToDisk()
{
#if defined(__linux__)
    (void)::sync_file_range(static_cast<int>(handle_), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

void GNativeFile::TakePermissionsOf(const GFileStatus& status)
{
    (void)::fchmod(static_cast<int>(handle_), static_cast<mode_t>(status.Mode & 07777));
}

std::error_code GNativeFile::Close()
{
    if (handle_ == kClosed)
        return {};
    if (::close(static_cast<int>(std::exchange(handle_, kClosed))) != 0)
        return LastError();
    return {};
}

#endif

// ---- memory -----------------------------------------------------------------------------------

#if defined(_WIN32)

namespace
{

// Large pages need the "lock pages in memory" right, which few accounts hold; asked once.
bool LargePagesAllowed()
{
    static const bool allowed = []
    {
        if (::GetLargePageMinimum() == 0)
            return false;
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                                &token))
            return false;
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        // AdjustTokenPrivileges succeeds without enabling a right the account lacks; the last
        // error tells.
        const bool enabled =
            ::LookupPrivilegeValueW(nullptr, L"SeLockMemoryPrivilege",
                                    &privileges.Privileges[0].Luid) &&
            ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
            ::GetLastError() == ERROR_SUCCESS;
        ::CloseHandle(token);
        return enabled;
    }();
    return allowed;
}

} // namespace

void* MapPages(std::size_t size, bool)
{
    return ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void UnmapPages(void* pages, std::size_t) noexcept
{
    if (pages)
        ::VirtualFree(pages, 0, MEM_RELEASE);
}

void* MapArena(std::size_t size)
{
    const SIZE_T large = ::GetLargePageMinimum();
    if (large > 0 && size % large == 0 && LargePagesAllowed())
        if (void* pages = ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT | MEM_LARGE_PAGES,
                                         PAGE_READWRITE))
            return pages;
    return MapPages(size, false);
}

#else

void* MapPages(std::size_t size, bool populate)
{
    int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#if defined(MAP_POPULATE)
    if (populate)
        flags |= MAP_POPULATE;
#else
    (void)populate;
#endif
    void* pages = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, flags, -1, 0);
    return pages == MAP_FAILED ? nullptr : pages;
}

void UnmapPages(void* pages, std::size_t size) noexcept
{
    if (pages)
        ::munmap(pages, size);
}

void* MapArena(std::size_t size)
{
    void* pages = MapPages(size, false);
#if defined(MADV_HUGEPAGE)
    // Advice only: without transparent huge pages the arena simply stays in small pages.
    if (pages)
        (void)::madvise(pages, size, MADV_HUGEPAGE);
#endif
    return pages;
}

#endif

// ---- terminal and environment -----------------------------------------------------------------

#if defined(_WIN32)

bool StandardErrorIsTerminal()
{
    const HANDLE console = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (console == nullptr || console == INVALID_HANDLE_VALUE || !::GetConsoleMode(console, &mode))
        return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

int TerminalColumns(std::FILE* stream)
{
    const int descriptor = stream ? ::_fileno(stream) : -1;
    if (descriptor < 0)
        return 0;
    const auto console = reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (console == INVALID_HANDLE_VALUE || !::GetConsoleScreenBufferInfo(console, &info))
        return 0;
    return std::max(0, info.srWindow.Right - info.srWindow.Left + 1);
}

std::optional<std::string> EnvironmentValue(const std::string& name)
{
    const wchar_t* value = ::_wgetenv(Wide(name).c_str());
    if (value == nullptr)
        return std::nullopt;
    return Narrow(value);
}

std::error_code SetEnvironmentValue(const std::string& name, const std::string& value)
{
    // _wputenv also sets the variable of the system, for the programs this one starts.
    const std::wstring assignment = Wide(name) + L"=" + Wide(value);
    if (::_wputenv(assignment.c_str()) != 0)
        return {errno, std::generic_category()};
    return {};
}

#else

bool StandardErrorIsTerminal()
{
    return ::isatty(STDERR_FILENO) == 1;
}

int TerminalColumns(std::FILE* stream)
{
    winsize size{};
    if (stream && ::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0)
        return size.ws_col;
    return 0;
}

std::optional<std::string> EnvironmentValue(const std::string& name)
{
    const char* value = std::getenv(name.c_str());
    if (value == nullptr)
        return std::nullopt;
    return std::string(value);
}

std::error_code SetEnvironmentValue(const std::string& name, const std::string& value)
{
    if (::setenv(name.c_str(), value.c_str(), 1) != 0)
        return LastError();
    return {};
}

#endif

} // namespace quorvalis::platform
