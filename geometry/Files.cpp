#include "geometry/Files.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <sstream>
#include <system_error>
#include <utility>

namespace quorvalis
{

namespace
{

constexpr std::size_t kBufferSize = std::size_t{1} << 20;

namespace os = platform;

std::string FileError(const char* action, const std::string& path, std::error_code error)
{
    return std::string("Cannot ") + action + " file \"" + path + "\": " + error.message();
}

std::string FileError(const char* action, const std::string& path, std::errc error)
{
    return FileError(action, path, std::make_error_code(error));
}

bool Missing(std::error_code error)
{
    return error == std::errc::no_such_file_or_directory;
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

constexpr int kMaximumLinks = 40;

void RenameOrFail(const std::string& from, const std::string& to)
{
    if (const std::error_code error = os::RenameOver(from, to))
        throw GFileException(FileError("replace", to, error));
}

// Removes path when it is there (a missing file is no failure).
void RemoveOrFail(const std::string& path)
{
    if (const std::error_code error = os::RemoveFileIfPresent(path))
        throw GFileException(FileError("remove", path, error));
}

std::function<void(const std::string&)>& StepHook()
{
    static std::function<void(const std::string&)> hook;
    return hook;
}

void Step(const std::string& step)
{
    if (StepHook())
        StepHook()(step);
}

// ---- commit markers ---------------------------------------------------------------------------

constexpr char kMarkerSignature[] = "quorvalis file set 1";

std::string IdentityText(const std::optional<GFileIdentity>& identity)
{
    if (!identity)
        return "-";
    char text[80];
    std::snprintf(text, sizeof text, "%llu:%lld:%016llx",
                  static_cast<unsigned long long>(identity->Size),
                  static_cast<long long>(identity->ModifiedNanoseconds),
                  static_cast<unsigned long long>(identity->Hash));
    return text;
}

bool ParseIdentity(const std::string& text, std::optional<GFileIdentity>& identity)
{
    if (text == "-")
    {
        identity.reset();
        return true;
    }
    unsigned long long size = 0;
    long long modified = 0;
    unsigned long long hash = 0;
    char end = 0;
    if (std::sscanf(text.c_str(), "%llu:%lld:%llx%c", &size, &modified, &hash, &end) != 3)
        return false;
    identity = GFileIdentity{size, modified, hash};
    return true;
}

// Paths go last on their line; the characters that would break the line are escaped.
std::string EscapePath(const std::string& path)
{
    std::string out;
    for (const char c : path)
    {
        if (c == '%' || c == '\n' || c == '\r')
        {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned char>(c));
            out += code;
        }
        else
            out.push_back(c);
    }
    return out;
}

bool UnescapePath(const std::string& text, std::string& path)
{
    path.clear();
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != '%')
        {
            path.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size())
            return false;
        unsigned value = 0;
        if (std::sscanf(text.substr(i + 1, 2).c_str(), "%2x", &value) != 1)
            return false;
        path.push_back(static_cast<char>(value));
        i += 2;
    }
    return !path.empty();
}

struct MarkerEntry
{
    bool Remove = false;
    std::optional<GFileIdentity> Old;
    std::optional<GFileIdentity> New;
    std::string Path;
};

// The entries of a marker; false when the text is not a marker of this format.
bool ParseMarker(const std::string& text, std::vector<MarkerEntry>& entries)
{
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kMarkerSignature)
        return false;
    while (std::getline(in, line))
    {
        if (line.empty())
            continue;
        std::istringstream fields(line);
        std::string action, oldText, newText;
        if (!(fields >> action >> oldText >> newText))
            return false;
        std::string rest;
        std::getline(fields, rest);
        if (rest.size() < 2 || rest[0] != ' ')
            return false;
        MarkerEntry entry;
        entry.Remove = action == "remove";
        if ((!entry.Remove && action != "replace") || !ParseIdentity(oldText, entry.Old) ||
            !ParseIdentity(newText, entry.New) || !UnescapePath(rest.substr(1), entry.Path))
            return false;
        if (!entry.Remove && !entry.New)
            return false;
        entries.push_back(std::move(entry));
    }
    return !entries.empty();
}

std::optional<std::string> ReadSmallFile(const std::string& path)
{
    std::FILE* file = os::OpenStdioFile(path, "rb");
    if (file == nullptr)
    {
        if (errno == ENOENT)
            return std::nullopt;
        throw GFileException(
            FileError("open", path, std::error_code(errno, std::generic_category())));
    }
    std::string text;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0 && text.size() < (1u << 24))
        text.append(buffer, n);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        throw GFileException(FileError("read", path, std::errc::io_error));
    return text;
}

} // namespace

std::string ResolveSymbolicLinks(const std::string& path)
{
    std::string current = path;
    for (int links = 0;; ++links)
    {
        std::optional<std::string> target;
        if (const std::error_code error = os::ReadLinkTarget(current, target))
            throw GFileException(FileError("resolve", current, error));
        if (!target)
            return current;
        if (links == kMaximumLinks)
            throw GFileException(
                FileError("resolve", path, std::errc::too_many_symbolic_link_levels));
        const std::filesystem::path next = os::PathFromUtf8(*target);
        current = os::Utf8FromPath(
            next.is_absolute() ? next : os::PathFromUtf8(current).parent_path() / next);
    }
}

std::uint64_t HardLinkCount(const std::string& path)
{
    os::GFileStatus status;
    return os::FileStatusOf(path, status) ? 0 : status.Links;
}

// ---- content hash -----------------------------------------------------------------------------

namespace
{

constexpr std::uint64_t kHashMultiplier1 = 0x9E3779B97F4A7C15ULL;
constexpr std::uint64_t kHashMultiplier2 = 0xC2B2AE3D27D4EB4FULL;

std::uint64_t LittleWord(const std::uint8_t* p)
{
    if constexpr (std::endian::native == std::endian::little)
    {
        std::uint64_t w = 0;
        std::memcpy(&w, p, sizeof w);
        return w;
    }
    std::uint64_t w = 0;
    for (int i = 7; i >= 0; --i)
        w = (w << 8) | p[i];
    return w;
}

std::uint64_t MixWord(std::uint64_t state, std::uint64_t word)
{
    state ^= word * kHashMultiplier1;
    return std::rotl(state, 29) * kHashMultiplier2;
}

} // namespace

void GContentHash::Update(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    length_ += size;
    const auto block = [this](const std::uint8_t* p)
    {
        for (int lane = 0; lane < 4; ++lane)
            lanes_[lane] = MixWord(lanes_[lane], LittleWord(p + 8 * lane));
    };
    if (tailSize_ > 0)
    {
        const std::size_t take = std::min(size, sizeof tail_ - tailSize_);
        std::memcpy(tail_ + tailSize_, bytes, take);
        tailSize_ += take;
        bytes += take;
        size -= take;
        if (tailSize_ < sizeof tail_)
            return;
        block(tail_);
        tailSize_ = 0;
    }
    for (; size >= sizeof tail_; bytes += sizeof tail_, size -= sizeof tail_)
        block(bytes);
    std::memcpy(tail_, bytes, size);
    tailSize_ = size;
}

std::uint64_t GContentHash::Value() const
{
    std::uint8_t last[32] = {};
    std::memcpy(last, tail_, tailSize_);
    std::uint64_t h = length_;
    for (int lane = 0; lane < 4; ++lane)
        h = MixWord(h, MixWord(lanes_[lane], LittleWord(last + 8 * lane)));
    // The finaliser of MurmurHash3: every input bit reaches every output bit.
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ULL;
    h ^= h >> 33;
    return h;
}

std::optional<GFileIdentity> FileIdentityOf(const std::string& path)
{
    os::GNativeFile file;
    if (const std::error_code error = file.OpenForReading(path))
    {
        if (Missing(error))
            return std::nullopt;
        throw GFileException(FileError("open", path, error));
    }
    os::GFileStatus status;
    if (const std::error_code error = file.Status(status))
        throw GFileException(FileError("read", path, error));
    GContentHash hash;
    std::vector<std::uint8_t> buffer(1 << 20);
    for (;;)
    {
        std::size_t n = 0;
        if (const std::error_code error = file.Read(buffer.data(), buffer.size(), n))
            throw GFileException(FileError("read", path, error));
        if (n == 0)
            break;
        hash.Update(buffer.data(), n);
    }
    return GFileIdentity{status.Size, status.ModifiedNanoseconds, hash.Value()};
}

std::int32_t CountLines(const std::string& fileName)
{
    std::FILE* file = os::OpenStdioFile(fileName, "rb");
    if (file == nullptr)
    {
        const int error = errno;
        if (error == ENOENT)
            return 0;
        throw GFileException(
            FileError("open", fileName, std::error_code(error, std::generic_category())));
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
        throw GFileException(FileError(
            "read", fileName, std::error_code(error != 0 ? error : EIO, std::generic_category())));
    if (lineOpen)
        ++lines;
    return static_cast<std::int32_t>(std::min<std::int64_t>(lines, INT32_MAX));
}

bool OwnerMayWrite(const std::string& fileName)
{
    os::GFileStatus status;
    return !os::FileStatusOf(fileName, status) && status.OwnerMayWrite;
}

GAtomicFile::GAtomicFile(std::string targetPath, std::string temporaryPath)
    : targetPath_(ResolveSymbolicLinks(targetPath)), temporaryPath_(std::move(temporaryPath))
{
    // Through a link the real file is replaced, from a temporary in its own folder (a rename
    // only works within one filesystem, and over the link it would replace the link).
    if (temporaryPath_.empty())
        temporaryPath_ = targetPath_ + ".tmp~";
    else if (targetPath_ != targetPath)
        temporaryPath_ = os::Utf8FromPath(os::PathFromUtf8(targetPath_).parent_path() /
                                          os::PathFromUtf8(temporaryPath_).filename());
    if (const std::error_code error = file_.CreateForWriting(temporaryPath_))
        throw GFileException(FileError("create", temporaryPath_, error));
    // The replacement keeps the permissions of the file it replaces.
    CopyModeFrom(targetPath_);
    buffer_.reserve(kBufferSize);
}

GAtomicFile::~GAtomicFile()
{
    if (committed_)
        return;
    (void)file_.Close();
    (void)os::RemoveFileIfPresent(temporaryPath_);
}

void GAtomicFile::Write(const void* data, std::size_t size)
{
    if (failed_ || committed_)
        throw GFileException(FileError("write", temporaryPath_, std::errc::bad_file_descriptor));
    if (size == 0)
        return;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    size_ += size;
    hash_.Update(bytes, size);
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
        throw GFileException(FileError("sync", temporaryPath_, std::errc::bad_file_descriptor));
    Flush();
    if (const std::error_code error = file_.FlushToDisk())
        Fail("sync", temporaryPath_, error);
    synced_ = true;
}

void GAtomicFile::Commit()
{
    if (committed_)
        return;
    if (failed_)
        throw GFileException(FileError("commit", temporaryPath_, std::errc::bad_file_descriptor));
    if (!synced_)
        Sync();
    if (const std::error_code error = file_.Close())
        Fail("close", temporaryPath_, error);
    if (const std::error_code error = os::RenameOver(temporaryPath_, targetPath_))
        Fail("replace", targetPath_, error);
    committed_ = true;
    // Make the rename itself durable. A failure here is not reported: the folder then holds
    // either the old or the new file, each complete.
    os::SyncFolderOf(targetPath_);
}

void GAtomicFile::CopyModeFrom(const std::string& path)
{
    os::GFileStatus status;
    if (!os::FileStatusOf(path, status) && status.Regular && file_.IsOpen())
        file_.TakePermissionsOf(status);
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
    if (const std::error_code error = file_.Write(data, allowed))
        Fail("write", temporaryPath_, error);
    if (allowed < size)
        Fail("write", temporaryPath_, std::make_error_code(std::errc::no_space_on_device));
    // The disk starts on each full buffer while the next is filled: the sync before the rename
    // then waits only for the last ones.
    file_.StartFlushToDisk();
}

void GAtomicFile::Fail(const char* action, const std::string& path, std::error_code error)
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

// ---- file sets --------------------------------------------------------------------------------

namespace
{

// The file a commit replaces, links resolved, as an absolute path: a marker must still name the
// right files when a later run starts from another folder.
std::string AbsoluteTarget(const std::string& path)
{
    std::error_code ignored;
    const std::string resolved = ResolveSymbolicLinks(path);
    const std::filesystem::path absolute =
        std::filesystem::absolute(os::PathFromUtf8(resolved), ignored);
    return absolute.empty() ? resolved : os::Utf8FromPath(absolute);
}

} // namespace

struct GFileSetCommit::Entry
{
    std::string Target; // resolved
    std::unique_ptr<GAtomicFile> Writer;
    std::optional<GFileIdentity> Old;
    std::optional<GFileIdentity> New;
};

std::string StagingPathOf(const std::string& path)
{
    return ResolveSymbolicLinks(path) + ".new~";
}

GFileSetCommit::GFileSetCommit(std::string markerPath) : markerPath_(std::move(markerPath)) {}

GFileSetCommit::~GFileSetCommit()
{
    if (committed_)
        return;
    for (const auto& entry : entries_)
    {
        if (!entry->Writer)
            continue;
        const bool staged = entry->Writer->Committed();
        entry->Writer.reset(); // removes an unfinished temporary
        if (staged)
            (void)os::RemoveFileIfPresent(entry->Target + ".new~");
    }
}

GAtomicFile& GFileSetCommit::Replace(const std::string& target)
{
    auto entry = std::make_unique<Entry>();
    entry->Target = AbsoluteTarget(target);
    for (const auto& other : entries_)
        if (other->Target == entry->Target)
            throw GFileException(FileError("replace", entry->Target, std::errc::file_exists));
    const std::string staging = entry->Target + ".new~";
    RemoveOrFail(staging); // a stale one, which might even be a link
    entry->Writer = std::make_unique<GAtomicFile>(staging, staging + ".tmp~");
    entry->Writer->CopyModeFrom(entry->Target);
    GAtomicFile& writer = *entry->Writer;
    entries_.push_back(std::move(entry));
    return writer;
}

void GFileSetCommit::Remove(const std::string& target)
{
    auto entry = std::make_unique<Entry>();
    entry->Target = AbsoluteTarget(target);
    for (const auto& other : entries_)
        if (other->Target == entry->Target)
            throw GFileException(FileError("remove", entry->Target, std::errc::file_exists));
    entries_.push_back(std::move(entry));
}

void GFileSetCommit::Stage()
{
    for (const auto& entry : entries_)
        if (entry->Writer && !entry->Writer->Committed())
            entry->Writer->Commit();
}

std::string GFileSetCommit::StagedPath(const std::string& target) const
{
    const std::string resolved = AbsoluteTarget(target);
    for (const auto& entry : entries_)
        if (entry->Target == resolved && entry->Writer && entry->Writer->Committed())
            return resolved + ".new~";
    throw GFileException(
        FileError("read", resolved + ".new~", std::errc::no_such_file_or_directory));
}

void GFileSetCommit::Commit()
{
    if (committed_)
        return;
    Stage();
    if (entries_.size() == 1 && entries_.front()->Writer)
    {
        // One file: its rename alone is the commit.
        const std::string& target = entries_.front()->Target;
        Step("staged");
        RenameOrFail(target + ".new~", target);
        committed_ = true;
        Step("renamed " + target);
        os::SyncFolderOf(target);
        return;
    }
    std::string marker = std::string(kMarkerSignature) + "\n";
    for (const auto& entry : entries_)
    {
        entry->Old = FileIdentityOf(entry->Target);
        if (entry->Writer)
        {
            os::GFileStatus status;
            if (const std::error_code error = os::FileStatusOf(entry->Target + ".new~", status))
                throw GFileException(FileError("read", entry->Target + ".new~", error));
            entry->New = GFileIdentity{status.Size, status.ModifiedNanoseconds,
                                       entry->Writer->ContentHash()};
        }
        else if (!entry->Old)
            continue; // nothing to remove
        marker += std::string(entry->Writer ? "replace " : "remove ") + IdentityText(entry->Old) +
                  " " + IdentityText(entry->New) + " " + EscapePath(entry->Target) + "\n";
    }
    Step("staged");
    try
    {
        GAtomicFile file(markerPath_);
        file.Write(marker);
        file.Commit();
    }
    catch (...)
    {
        // Whether or not a marker reached the disk, the new files must not be taken as valid:
        // the marker goes first, then (in the destructor) the staged files.
        if (os::RemoveFileIfPresent(markerPath_))
            committed_ = true; // a marker that cannot be removed: leave its files to recovery
        throw;
    }
    // From here on the new files are the valid ones: whatever fails is finished by recovery.
    committed_ = true;
    Step("marker");
    std::set<std::string> folders{markerPath_};
    for (const auto& entry : entries_)
    {
        if (entry->Writer)
        {
            RenameOrFail(entry->Target + ".new~", entry->Target);
            Step("renamed " + entry->Target);
        }
        else if (entry->Old)
        {
            RemoveOrFail(entry->Target);
            Step("removed " + entry->Target);
        }
        folders.insert(entry->Target);
    }
    for (const std::string& path : folders)
        os::SyncFolderOf(path);
    RemoveOrFail(markerPath_);
    os::SyncFolderOf(markerPath_);
}

void GFileSetCommit::SetStepHook(std::function<void(const std::string& step)> hook)
{
    StepHook() = std::move(hook);
}

GFileSetRecovery RecoverFileSet(const std::string& markerPath, bool inspectOnly)
{
    GFileSetRecovery recovery;
    if (!inspectOnly)
        RemoveOrFail(markerPath + ".tmp~");
    const std::optional<std::string> text = ReadSmallFile(markerPath);
    if (!text)
        return recovery;
    std::vector<MarkerEntry> entries;
    if (!ParseMarker(*text, entries))
    {
        recovery.Result = GFileSetRecovery::UnknownMarker;
        return recovery;
    }

    // Each file is either still its old content (its new one staged beside it) or already its
    // new content; anything else means the files changed after the run was interrupted.
    bool consistent = true;
    bool anyDone = false;
    bool anyPending = false;
    std::vector<bool> pending;
    for (const MarkerEntry& entry : entries)
    {
        recovery.Files.push_back(entry.Path);
        const std::optional<GFileIdentity> current = FileIdentityOf(entry.Path);
        bool done = false;
        bool waiting = false;
        if (entry.Remove)
        {
            done = !current;
            waiting = current && current == entry.Old;
        }
        else
        {
            const std::optional<GFileIdentity> staged = FileIdentityOf(entry.Path + ".new~");
            done = !staged && current == entry.New;
            waiting = staged && staged == entry.New && current == entry.Old;
        }
        consistent = consistent && (done || waiting);
        anyDone = anyDone || done;
        anyPending = anyPending || waiting;
        pending.push_back(waiting);
    }

    if (inspectOnly)
    {
        if (!consistent)
            recovery.Result = GFileSetRecovery::Stale;
        else
            recovery.Result =
                anyDone && anyPending ? GFileSetRecovery::Torn : GFileSetRecovery::Pending;
        return recovery;
    }
    if (consistent)
    {
        for (std::size_t i = 0; i < entries.size(); ++i)
        {
            if (!pending[i])
                continue;
            if (entries[i].Remove)
                RemoveOrFail(entries[i].Path);
            else
                RenameOrFail(entries[i].Path + ".new~", entries[i].Path);
            os::SyncFolderOf(entries[i].Path);
        }
        RemoveOrFail(markerPath);
        os::SyncFolderOf(markerPath);
        recovery.Result = GFileSetRecovery::Finished;
        return recovery;
    }
    // Abandoned: the marker first, so that a crash half way through cannot leave a marker whose
    // staged files are gone.
    RemoveOrFail(markerPath);
    os::SyncFolderOf(markerPath);
    recovery.Removed.push_back(markerPath);
    for (const MarkerEntry& entry : entries)
    {
        const std::string staged = entry.Path + ".new~";
        os::GFileStatus status;
        if (!entry.Remove && !os::FileStatusOf(staged, status))
        {
            RemoveOrFail(staged);
            recovery.Removed.push_back(staged);
        }
    }
    recovery.Result = GFileSetRecovery::Abandoned;
    return recovery;
}

void LinkOrCopyFile(const std::string& from, const std::string& to)
{
    if (!os::MakeHardLink(from, to))
        return;
    std::error_code error;
    std::filesystem::copy_file(os::PathFromUtf8(from), os::PathFromUtf8(to),
                               std::filesystem::copy_options::overwrite_existing, error);
    if (error)
        throw GFileException(FileError("copy", from, error));
}

} // namespace quorvalis
