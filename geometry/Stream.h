// In-memory byte stream: the carrier of the shape stream form and of blob columns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace quorvalis
{

/// A growable byte buffer with a read/write position, like a file opened for update.
///
/// Writes at the position overwrite and extend the buffer. Reads never go past the end: a read
/// that finds fewer bytes than asked copies what is there, zero-fills the rest of the
/// destination and returns the count actually read (a "short read"). All multi-byte helpers are
/// little-endian regardless of the host.
class GStream
{
public:
    GStream() = default;
    explicit GStream(std::vector<std::uint8_t> bytes) : data_(std::move(bytes)) {}

    /// Bytes held (the position may be anywhere from 0 to Size()).
    std::size_t Size() const { return data_.size(); }
    std::size_t Position() const { return position_; }
    /// Bytes between the position and the end.
    std::size_t Remaining() const
    {
        return position_ < data_.size() ? data_.size() - position_ : 0;
    }
    void Seek(std::size_t position) { position_ = position; }
    void Rewind() { position_ = 0; }
    /// Sets the size to exactly n bytes (new bytes are zero); the position is kept.
    void SetSize(std::size_t n) { data_.resize(n); }
    /// Reserves capacity for n bytes without changing the size.
    void Reserve(std::size_t n) { data_.reserve(n); }

    const std::vector<std::uint8_t>& Bytes() const { return data_; }
    std::vector<std::uint8_t>& Bytes() { return data_; }

    void Write(const void* source, std::size_t count)
    {
        if (count == 0)
            return;
        if (position_ + count > data_.size())
            data_.resize(position_ + count);
        std::memcpy(data_.data() + position_, source, count);
        position_ += count;
    }

    std::size_t Read(void* destination, std::size_t count)
    {
        const std::size_t available = Remaining();
        const std::size_t n = count < available ? count : available;
        if (n > 0)
            std::memcpy(destination, data_.data() + position_, n);
        if (n < count)
            std::memset(static_cast<std::uint8_t*>(destination) + n, 0, count - n);
        position_ += n;
        return n;
    }

    void WriteByte(std::uint8_t value) { Write(&value, 1); }
    void WriteInt32(std::int32_t value)
    {
        std::uint8_t b[4];
        const auto u = static_cast<std::uint32_t>(value);
        for (int i = 0; i < 4; ++i)
            b[i] = static_cast<std::uint8_t>(u >> (8 * i));
        Write(b, 4);
    }
    void WriteDouble(double value)
    {
        std::uint64_t u;
        std::memcpy(&u, &value, 8);
        std::uint8_t b[8];
        for (int i = 0; i < 8; ++i)
            b[i] = static_cast<std::uint8_t>(u >> (8 * i));
        Write(b, 8);
    }

    std::uint8_t ReadByte()
    {
        std::uint8_t b = 0;
        Read(&b, 1);
        return b;
    }
    std::int32_t ReadInt32()
    {
        std::uint8_t b[4];
        Read(b, 4);
        std::uint32_t u = 0;
        for (int i = 0; i < 4; ++i)
            u |= static_cast<std::uint32_t>(b[i]) << (8 * i);
        return static_cast<std::int32_t>(u);
    }
    double ReadDouble()
    {
        std::uint8_t b[8];
        Read(b, 8);
        std::uint64_t u = 0;
        for (int i = 0; i < 8; ++i)
            u |= static_cast<std::uint64_t>(b[i]) << (8 * i);
        double value;
        std::memcpy(&value, &u, 8);
        return value;
    }

private:
    std::vector<std::uint8_t> data_;
    std::size_t position_ = 0;
};

} // namespace quorvalis
