// Storage of vertices. A job of a million vertices allocates a million GPoint objects; taking
// them one heap block each costs a page fault every hundred points and 16 bytes of bookkeeping
// apiece. The pool hands out fixed-size blocks from large arenas instead (in huge pages where
// the system allows them, see platform::MapArena), and reuses freed blocks.
#pragma once

#include <cstddef>

namespace quorvalis
{

/// Size in bytes of the blocks the pool serves (that of a GPoint on 64-bit systems).
inline constexpr std::size_t kPointBlockSize = 40;

/// A block of kPointBlockSize bytes, aligned for any scalar type. Throws std::bad_alloc when no
/// memory is left. Blocks are kept per thread; a block may be freed on any thread. Arenas are
/// kept for the life of the process and reused; they are never returned to the system.
void* AllocatePointBlock();
/// Returns a block from AllocatePointBlock to the pool (nullptr is ignored).
void FreePointBlock(void* block) noexcept;

} // namespace quorvalis
