// UtByteArena: growable buffers and their bytes placed in large regions (UtByteArena.h).
//
// Regions are malloc'ed, so that they count as heap like any other memory: the first
// holds 16 KB, each next one four times as much, up to 4 MB less one page (or, for a copy
// that says how much it places, just what it needs). A block of that
// size is one 4 MB mapping of the C library on Linux, which the kernel places on a 2 MB
// boundary; offering it huge pages turns 1024 page faults into two. The C library has
// already written its header into the first page, so the first 2 MB are collapsed into
// a huge page at once. Elsewhere (or when the block lies elsewhere) the advice only lets
// the kernel do what fits; on kernels without the advice it does nothing.
#include "UtByteArena.h"

#include <new>
#include <stdint.h>
#include <stdlib.h>

#if defined(__linux__)
#include <sys/mman.h>
#if !defined(MADV_COLLAPSE)
#define MADV_COLLAPSE 25   // Linux 6.1 on; older kernels refuse it
#endif
#endif

namespace
{
const size_t kFirstRegion = 16u << 10;
const size_t kLargestRegion = (4u << 20) - 4096;
// Regions from this size on are offered huge pages.
const size_t kHugeRegion = 2u << 20;
// Room a region must still have for a new buffer to go there: its bytes, up to this
// many, then follow it in the same region.
const size_t kLeastRoom = 4096;

unsigned char* AlignUp(unsigned char* at, size_t alignment)
{
    uintptr_t value = (uintptr_t)at;
    return at + ((alignment - value % alignment) % alignment);
}

// Offers huge pages for the pages of [start, start + size), a block of the C library's.
void AdviseHugePages(void* start, size_t size)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const uintptr_t kPage = 4096, kHugePage = 2u << 20;
    uintptr_t first = (uintptr_t)start & ~(kPage - 1);
    uintptr_t end = ((uintptr_t)start + size + kPage - 1) & ~(kPage - 1);
    madvise((void*)first, end - first, MADV_HUGEPAGE);
    // A block that begins a 2 MB page (behind the library's header): that page is ours
    // whole, and it is collapsed now that its first page is in use.
    if ((uintptr_t)start % kHugePage < kPage && end - first >= kHugePage)
        madvise((void*)first, kHugePage, MADV_COLLAPSE);
#else
    (void)start;
    (void)size;
#endif
}
}

UtByteArena::UtByteArena() : m_pRegion(0), m_nNextSize(kFirstRegion), m_nReferences(1)
{
}

UtByteArena::~UtByteArena()
{
    if (m_pRegion != 0)
        ReleaseRegion(m_pRegion);
}

UtByteArena* UtByteArena::Create()
{
    return new (std::nothrow) UtByteArena();
}

UtByteArena* UtByteArena::Acquire(UtByteArena* arena)
{
    if (arena != 0)
        ++arena->m_nReferences;
    return arena;
}

void UtByteArena::Release(UtByteArena* arena)
{
    if (arena != 0 && --arena->m_nReferences == 0)
        delete arena;
}

UtByteBuffer* UtByteArena::NewBuffer()
{
    const size_t kObject = sizeof(UtByteBuffer);
    unsigned char* at = m_pRegion != 0 ? AlignUp(m_pRegion->pFree, alignof(UtByteBuffer)) : 0;
    if (at == 0 || at > m_pRegion->pEnd || (size_t)(m_pRegion->pEnd - at) < kObject + kLeastRoom)
    {
        if (!NextRegion(0))
            return 0;
        at = AlignUp(m_pRegion->pFree, alignof(UtByteBuffer));
    }
    m_pRegion->pFree = at + kObject;
    ++m_pRegion->nHolds;
    util_UnpoisonRoom(at, kObject);
    return new (at) UtByteBuffer(m_pRegion, at + kObject);
}

void UtByteArena::DeleteBuffer(UtByteBuffer* buffer)
{
    if (buffer == 0)
        return;
    UtByteLink* link = buffer->m_pLink;
    if (link == 0 || link->bChain)
    {
        delete buffer;
        return;
    }
    buffer->~UtByteBuffer();
    util_PoisonRoom(buffer, sizeof(UtByteBuffer));
    ReleaseRegion(static_cast<UtByteRegion*>(link));
}

void UtByteArena::Expect(size_t bytes)
{
    if (m_pRegion != 0 && (size_t)(m_pRegion->pEnd - m_pRegion->pFree) >= bytes + kLeastRoom)
        return;
    // The buffers, and the least room NewBuffer asks for after the last of them.
    size_t least = sizeof(UtByteRegion) + alignof(UtByteBuffer) + bytes + kLeastRoom;
    if (least > bytes)
        NextRegion(least);
}

// Starts a new region of the next size, or of `least` bytes when that is more; the
// current one, if any, keeps only the buffers it holds.
bool UtByteArena::NextRegion(size_t least)
{
    size_t size = least > m_nNextSize ? least : m_nNextSize;
    void* memory = malloc(size);
    if (memory == 0)
        return false;
    if (size >= kHugeRegion)
        AdviseHugePages(memory, size);
    UtByteRegion* region = new (memory) UtByteRegion();
    region->bChain = false;
    region->nHolds = 1;
    region->pFree = AlignUp((unsigned char*)memory + sizeof(UtByteRegion), alignof(UtByteBuffer));
    region->pEnd = (unsigned char*)memory + size;
    util_PoisonRoom(region->pFree, (size_t)(region->pEnd - region->pFree));
    if (m_pRegion != 0)
        ReleaseRegion(m_pRegion);
    m_pRegion = region;
    if (m_nNextSize < kLargestRegion)
        m_nNextSize = m_nNextSize * 4 < kLargestRegion ? m_nNextSize * 4 : kLargestRegion;
    return true;
}

void UtByteArena::ReleaseRegion(UtByteRegion* region)
{
    if (--region->nHolds != 0)
        return;
    util_UnpoisonRoom(region, (size_t)(region->pEnd - (unsigned char*)region));
    free(region);
}
