#include "geometry/Files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvalis
{

namespace
{

constexpr std::size_t kBufferSize = std::size_t{1} << 20;

std::string ErrorText(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

std::string FileError(const char* action, const std::string& path, int error)
{
    return std::string("Cannot ") + action + " file \"" + path + "\": " + ErrorText(error);
}

struct FailureInjection
{
    std::mutex mutex;
    std::optional<std::uint64_t> limit;
    std::uint64_t written = 0;
};

FailureInjection& Injection()
{
    static FailureInjection injection;
    return injection;
}

// How many of size bytes the simulated disk still takes (all of them when injection is off).
std::size_t AllowedBytes(std::size_t size)
{
    FailureInjection& injection = Injection();
    const std::lock_guard lock(injection.mutex);
    if (!injection.limit)
        return size;
    const std::uint64_t room =
        *injection.limit > injection.written ? *injection.limit - injection.written : 0;
    const auto allowed = static_cast<std::size_t>(std::min<std::uint64_t>(room, size));
    injection.written += allowed;
    return allowed;
}

} // namespace

std::int32_t CountLines(const std::string& fileName)
{
    std::FILE* file = std::fopen(fileName.c_str(), "rb");
    if (file == nullptr)
    {
        const int error = errno;
        if (error == ENOENT)
            return 0;
        throw GFileException(FileError("open", fileName, error));
    }
    std::int64_t lines = 0;
    bool lineOpen = false;   // characters seen since the last line break
    bool previousCr = false; // the last character was a CR (a following LF belongs to it)
    std::vector<char> buffer(1 << 16);
    for (;;)
    {
        const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), file);
        for (std::size_t i = 0; i < n; ++i)
        {
            const char c = buffer[i];
            if (c == '\n')
            {
                if (!previousCr)
                    ++lines;
                lineOpen = false;
                previousCr = false;
            }
            else if (c == '\r')
            {
                ++lines;
                lineOpen = false;
                previousCr = true;
            }
            else
            {
                lineOpen = true;
                previousCr = false;
            }
        }
        if (n < buffer.size())
            break;
    }
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    if (failed)
        throw GFileException(FileError("read", fileName, error != 0 ? error : EIO));
    if (lineOpen)
        ++lines;
    return static_cast<std::int32_t>(std::min<std::int64_t>(lines, INT32_MAX));
}

bool OwnerMayWrite(const std::string& fileName)
{
    struct stat status
    {
    };
    if (::stat(fileName.c_str(), &status) != 0)
        return false;
    return (status.st_mode & S_IWUSR) != 0;
}

GAtomicFile::GAtomicFile(std::string targetPath, std::string temporaryPath)
    : targetPath_(std::move(targetPath)), temporaryPath_(std::move(temporaryPath))
{
    if (temporaryPath_.empty())
        temporaryPath_ = targetPath_ + ".tmp~";
    descriptor_ = ::open(temporaryPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor_ < 0)
        throw GFileException(FileError("create", temporaryPath_, errno));
    // The replacement keeps the permissions of the file it replaces.
    struct stat status
    {
    };
    if (::stat(targetPath_.c_str(), &status) == 0 && S_ISREG(status.st_mode))
        (void)::fchmod(descriptor_, status.st_mode & 07777);
    buffer_.reserve(kBufferSize);
}

GAtomicFile::~GAtomicFile()
{
    if (committed_)
        return;
    CloseDescriptor();
    ::unlink(temporaryPath_.c_str());
}

void GAtomicFile::Write(const void* data, std::size_t size)
{
    if (failed_ || committed_)
        throw GFileException(FileError("write", temporaryPath_, EBADF));
    if (size == 0)
        return;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    size_ += size;
    synced_ = false;
    if (buffer_.size() + size <= kBufferSize)
    {
        buffer_.insert(buffer_.end(), bytes, bytes + size);
        return;
    }
    Flush();
    if (size >= kBufferSize)
        WriteOut(bytes, size);
    else
        buffer_.insert(buffer_.end(), bytes, bytes + size);
}

void GAtomicFile::Write(std::string_view text)
{
    Write(text.data(), text.size());
}

void GAtomicFile::Sync()
{
    if (failed_ || committed_)
        throw GFileException(FileError("sync", temporaryPath_, EBADF));
    Flush();
    if (::fsync(descriptor_) != 0)
        Fail("sync", temporaryPath_, errno);
    synced_ = true;
}

void GAtomicFile::Commit()
{
    if (committed_)
        return;
    if (failed_)
        throw GFileException(FileError("commit", temporaryPath_, EBADF));
    if (!synced_)
        Sync();
    const int descriptor = descriptor_;
    descriptor_ = -1;
    if (::close(descriptor) != 0)
        Fail("close", temporaryPath_, errno);
    if (::rename(temporaryPath_.c_str(), targetPath_.c_str()) != 0)
        Fail("replace", targetPath_, errno);
    committed_ = true;
    // Make the rename itself durable. A failure here is not reported: the folder then holds
    // either the old or the new file, each complete.
    std::filesystem::path folder = std::filesystem::path(targetPath_).parent_path();
    if (folder.empty())
        folder = ".";
    const int directory = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0)
    {
        (void)::fsync(directory);
        ::close(directory);
    }
}

void GAtomicFile::InjectFailureAfter(std::optional<std::uint64_t> bytes)
{
    FailureInjection& injection = Injection();
    const std::lock_guard lock(injection.mutex);
    injection.limit = bytes;
    injection.written = 0;
}

void GAtomicFile::Flush()
{
    if (buffer_.empty())
        return;
    WriteOut(buffer_.data(), buffer_.size());
    buffer_.clear();
}

void GAtomicFile::WriteOut(const std::uint8_t* data, std::size_t size)
{
    const std::size_t allowed = AllowedBytes(size);
    std::size_t done = 0;
    while (done < allowed)
    {
        const ssize_t n = ::write(descriptor_, data + done, allowed - done);
        if (n < 0)
        {
            if (errno == EINTR)
                continue;
            Fail("write", temporaryPath_, errno);
        }
        done += static_cast<std::size_t>(n);
    }
    if (allowed < size)
        Fail("write", temporaryPath_, ENOSPC);
}

void GAtomicFile::CloseDescriptor() noexcept
{
    if (descriptor_ >= 0)
        ::close(descriptor_);
    descriptor_ = -1;
}

void GAtomicFile::Fail(const char* action, const std::string& path, int error)
{
    failed_ = true;
    buffer_.clear();
    throw GFileException(FileError(action, path, error));
}

void WriteFileAtomically(const std::string& path, std::string_view contents)
{
    GAtomicFile file(path);
    file.Write(contents);
    file.Commit();
}

} // namespace quorvalis
