// The component's memory heap for AllocMemory and FreeMemory, and the
// mapping between addresses and the 32-bit numbers that stand for them.
#pragma once

#include "zb_common.h"

#include <cstdint>

namespace zb {

bool HeapStartup();
void HeapShutdown(); // frees every block still allocated

// A block of at least max(size, 1) bytes whose address fits in 32 bits
// (as a bit pattern), or null.
void *HeapAllocBlock(uint32_t size);
// Frees a block of HeapAllocBlock; other addresses are ignored. Returns
// whether a block was freed.
bool HeapFreeBlock(void *block);

// An I4 address is the pointer's bit pattern; on 64-bit Windows it is
// zero-extended.
inline void *AddressFromLong(long address)
{
    return reinterpret_cast<void *>(static_cast<uintptr_t>(static_cast<uint32_t>(address)));
}
inline long LongFromAddress(const void *p)
{
    return static_cast<long>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)));
}

} // namespace zb
