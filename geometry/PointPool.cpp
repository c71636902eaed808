#include "geometry/PointPool.h"

#include "geometry/Platform.h"

#include <new>

// Under AddressSanitizer every object must be its own heap block so that overflows and
// use-after-free are seen; the pool is then a plain pass-through.
#if defined(__SANITIZE_ADDRESS__)
#define QUORVALIS_POINT_POOL 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVALIS_POINT_POOL 0
#endif
#endif
#ifndef QUORVALIS_POINT_POOL
#define QUORVALIS_POINT_POOL 1
#endif

namespace quorvalis
{

#if QUORVALIS_POINT_POOL

namespace
{

// 8 MiB: 262,144 vertices, and at least three whole 2 MiB huge pages whatever the alignment.
constexpr std::size_t kArenaBytes = std::size_t{8} << 20;

struct FreeBlock
{
    FreeBlock* next;
};

struct Pool
{
    FreeBlock* free = nullptr;
    char* next = nullptr;
    char* end = nullptr;
};

thread_local Pool pool;

char* NewArena()
{
    void* arena = platform::MapArena(kArenaBytes);
    if (arena == nullptr)
        throw std::bad_alloc();
    return static_cast<char*>(arena);
}

} // namespace

void* AllocatePointBlock()
{
    if (FreeBlock* block = pool.free)
    {
        pool.free = block->next;
        return block;
    }
    // The arena need not be a whole number of blocks.
    if (pool.end - pool.next < static_cast<std::ptrdiff_t>(kPointBlockSize))
    {
        pool.next = NewArena();
        pool.end = pool.next + kArenaBytes;
    }
    void* block = pool.next;
    pool.next += kPointBlockSize;
    return block;
}

void FreePointBlock(void* block) noexcept
{
    if (!block)
        return;
    auto* freed = static_cast<FreeBlock*>(block);
    freed->next = pool.free;
    pool.free = freed;
}

#else

void* AllocatePointBlock()
{
    return ::operator new(kPointBlockSize);
}

void FreePointBlock(void* block) noexcept
{
    ::operator delete(block);
}

#endif

} // namespace quorvalis
