// The component's heap for AllocMemory/FreeMemory.
//
// 32-bit Windows: a private heap of the process, destroyed (with every
// block still in it) when the component unloads.
//
// 64-bit Windows: a client names a block by a 32-bit number, so every block
// must lie wholly below 4 GiB. Each block is its own region of pages placed
// there by NtAllocateVirtualMemory with a zero-bits mask; the regions are
// listed so that unloading frees them and FreeMemory frees only them.
#include "memory_heap.h"

#include <cstdint>
#include <new>
#include <set>

namespace zb {

#if defined(_WIN64)

namespace {

using NtAllocateVirtualMemoryFn = LONG(NTAPI *)(HANDLE, PVOID *, ULONG_PTR, PSIZE_T, ULONG, ULONG);
using NtFreeVirtualMemoryFn = LONG(NTAPI *)(HANDLE, PVOID *, PSIZE_T, ULONG);

NtAllocateVirtualMemoryFn g_allocate = nullptr;
NtFreeVirtualMemoryFn g_free = nullptr;
SRWLOCK g_lock = SRWLOCK_INIT;
std::set<void *> *g_blocks = nullptr;

constexpr uint64_t kLimit = 0x100000000ULL;     // 4 GiB
constexpr ULONG_PTR kZeroBitsMask = 0xFFFFFFFFUL; // bits 63..32 zero

void ReleaseRegion(void *base)
{
    SIZE_T size = 0;
    PVOID p = base;
    g_free(GetCurrentProcess(), &p, &size, MEM_RELEASE);
}

} // namespace

bool HeapStartup()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll) return false;
    g_allocate = reinterpret_cast<NtAllocateVirtualMemoryFn>(
        reinterpret_cast<void *>(GetProcAddress(ntdll, "NtAllocateVirtualMemory")));
    g_free = reinterpret_cast<NtFreeVirtualMemoryFn>(
        reinterpret_cast<void *>(GetProcAddress(ntdll, "NtFreeVirtualMemory")));
    g_blocks = new (std::nothrow) std::set<void *>;
    return g_allocate && g_free && g_blocks;
}

void HeapShutdown()
{
    AcquireSRWLockExclusive(&g_lock);
    if (g_blocks) {
        for (void *block : *g_blocks) ReleaseRegion(block);
        delete g_blocks;
        g_blocks = nullptr;
    }
    ReleaseSRWLockExclusive(&g_lock);
}

void *HeapAllocBlock(uint32_t size)
{
    if (!g_allocate || size > 0x7FFFFFFFu) return nullptr;
    PVOID base = nullptr;
    SIZE_T bytes = size ? size : 1;
    if (g_allocate(GetCurrentProcess(), &base, kZeroBitsMask, &bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE) < 0
        || !base)
        return nullptr;
    if (reinterpret_cast<uint64_t>(base) + bytes > kLimit) { // the whole extent must fit in 32 bits
        ReleaseRegion(base);
        return nullptr;
    }
    bool listed = false;
    AcquireSRWLockExclusive(&g_lock);
    if (g_blocks) {
        try {
            listed = g_blocks->insert(base).second;
        } catch (...) {
            listed = false;
        }
    }
    ReleaseSRWLockExclusive(&g_lock);
    if (!listed) {
        ReleaseRegion(base);
        return nullptr;
    }
    return base;
}

bool HeapFreeBlock(void *block)
{
    if (!block) return false;
    bool found = false;
    AcquireSRWLockExclusive(&g_lock);
    if (g_blocks) found = g_blocks->erase(block) > 0;
    ReleaseSRWLockExclusive(&g_lock);
    if (found) ReleaseRegion(block);
    return found;
}

#else // 32-bit Windows

namespace {
HANDLE g_heap = nullptr;
}

bool HeapStartup()
{
    g_heap = HeapCreate(0, 0, 0);
    return g_heap != nullptr;
}

void HeapShutdown()
{
    if (g_heap) HeapDestroy(g_heap);
    g_heap = nullptr;
}

void *HeapAllocBlock(uint32_t size)
{
    // A negative request (as a signed number) asks for more than 2 GiB.
    if (!g_heap || size > 0x7FFFFFFFu) return nullptr;
    return HeapAlloc(g_heap, 0, size ? size : 1);
}

bool HeapFreeBlock(void *block)
{
    if (!g_heap || !block) return false;
    // Addresses that are not blocks of this heap (or were freed already)
    // are ignored rather than handed to HeapFree.
    if (!HeapValidate(g_heap, 0, block)) return false;
    return HeapFree(g_heap, 0, block) != FALSE;
}

#endif

} // namespace zb
