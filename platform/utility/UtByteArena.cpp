// UtByteArena: buffer objects in slabs, their bytes in large regions (UtByteArena.h).
//
// Regions and slabs are malloc'ed, so that they count as heap like any other memory.
// The first region holds 64 KB, each next one eight times as much, up to 4 MB less one
// page (or, for a copy that says how much it makes, just what it needs). A block of that
// size is one 4 MB mapping of the C library on Linux, which the kernel places on a 2 MB
// boundary; offering it huge pages turns 1024 page faults into two. The C library has
// already written its header into the first page, so the first 2 MB are collapsed into a
// huge page at once. Elsewhere (or when the block lies elsewhere) the advice only lets the
// kernel do what fits; on kernels without the advice it does nothing. Slabs hold 256
// buffer objects at first, each next one eight times as many, up to 2 MB less one page,
// which are offered huge pages the same way.
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
const size_t kFirstRegion = 64u << 10;
const size_t kLargestRegion = (4u << 20) - 4096;
// Blocks from this size on (2 MB less the page of the C library's header) are offered
// huge pages.
const size_t kHugeBlock = (2u << 20) - 4096;
// The most a buffer takes from a region at once; a larger one has a block of its own.
const size_t kLargestTake = kLargestRegion / 8;
const size_t kFirstSlab = 256;
const size_t kLargestSlab = kHugeBlock / sizeof(UtByteBuffer) - 1;

// A slab: this header, then the objects.
struct Slab
{
    Slab* pBefore;
};

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

void FreeRegion(UtByteRegion* region)
{
    util_UnpoisonRoom(region, (size_t)(region->pEnd - (unsigned char*)region));
    free(region);
}
}

UtByteArena::UtByteArena()
    : m_pRegion(nullptr), m_nNextRegion(kFirstRegion), m_pSlabs(nullptr), m_pSlabFree(nullptr), m_pSlabEnd(nullptr),
      m_nNextSlab(kFirstSlab), m_pFreeObjects(nullptr), m_nFreeObjects(0), m_nReferences(1)
{
    nKind = UtByteLink::Arena;
}

UtByteArena::~UtByteArena()
{
    if (m_pRegion != nullptr)
    {
        m_pRegion->bCurrent = false;
        if (m_pRegion->nHeld == 0)
            FreeRegion(m_pRegion);
    }
    for (Slab* slab = static_cast<Slab*>(m_pSlabs); slab != nullptr;)
    {
        Slab* before = slab->pBefore;
        free(slab);
        slab = before;
    }
}

UtByteArena* UtByteArena::Create()
{
    return new (std::nothrow) UtByteArena();
}

UtByteArena* UtByteArena::Acquire(UtByteArena* arena)
{
    if (arena != nullptr)
        ++arena->m_nReferences;
    return arena;
}

void UtByteArena::Release(UtByteArena* arena)
{
    if (arena != nullptr && --arena->m_nReferences == 0)
        delete arena;
}

UtByteBuffer* UtByteArena::NewBuffer()
{
    void* place = m_pFreeObjects;
    if (place != nullptr)
    {
        util_UnpoisonRoom(place, sizeof(UtByteBuffer));
        m_pFreeObjects = *static_cast<void**>(place);
        --m_nFreeObjects;
    }
    else
    {
        if ((size_t)(m_pSlabEnd - m_pSlabFree) < sizeof(UtByteBuffer) && !NextSlab(0))
            return nullptr;
        place = m_pSlabFree;
        m_pSlabFree += sizeof(UtByteBuffer);
        util_UnpoisonRoom(place, sizeof(UtByteBuffer));
    }
    return new (place) UtByteBuffer(this);
}

void UtByteArena::DeleteBuffer(UtByteBuffer* buffer)
{
    if (buffer == nullptr)
        return;
    UtByteLink* link = buffer->m_pLink;
    if (link == nullptr || link->nKind == UtByteLink::Chain)
    {
        delete buffer;
        return;
    }
    UtByteArena* arena =
        link->nKind == UtByteLink::Arena ? static_cast<UtByteArena*>(link) : static_cast<UtByteRegion*>(link)->pArena;
    buffer->~UtByteBuffer();   // leaves its region, which may go with it
    *reinterpret_cast<void**>(buffer) = arena->m_pFreeObjects;
    arena->m_pFreeObjects = buffer;
    ++arena->m_nFreeObjects;
    util_PoisonRoom(buffer, sizeof(UtByteBuffer));
}

void UtByteArena::Expect(size_t count, size_t bytes)
{
    size_t slab = (size_t)(m_pSlabEnd - m_pSlabFree) / sizeof(UtByteBuffer);
    if (m_nFreeObjects + slab < count)
        NextSlab(count - m_nFreeObjects);
    if (bytes > 0 && (m_pRegion == nullptr || (size_t)(m_pRegion->pEnd - m_pRegion->pFree) < bytes))
        NextRegion(bytes);
}

unsigned char* UtByteArena::Take(size_t size, UtByteRegion** region)
{
    if (size == 0 || size > kLargestTake)
        return nullptr;
    if ((m_pRegion == nullptr || (size_t)(m_pRegion->pEnd - m_pRegion->pFree) < size) && !NextRegion(size))
        return nullptr;
    unsigned char* room = m_pRegion->pFree;
    m_pRegion->pFree += size;
    m_pRegion->nHeld += size;
    util_UnpoisonRoom(room, size);
    *region = m_pRegion;
    return room;
}

void UtByteArena::Drop(UtByteRegion* region, size_t size)
{
    region->nHeld -= size;
    if (region->nHeld == 0 && !region->bCurrent)
        FreeRegion(region);
}

// Starts a new region of the next size, or one that holds `least` bytes when that is
// more; the current one, if any, lives on only while buffers hold bytes in it.
bool UtByteArena::NextRegion(size_t least)
{
    const size_t kHeader = sizeof(UtByteRegion);
    size_t size = least > m_nNextRegion - kHeader ? least + kHeader : m_nNextRegion;
    if (size < least)
        return false;   // more than memory can count
    void* memory = malloc(size);
    if (memory == nullptr)
        return false;
    if (size >= kHugeBlock)
        AdviseHugePages(memory, size);
    UtByteRegion* region = new (memory) UtByteRegion();
    region->nKind = UtByteLink::Region;
    region->pArena = this;
    region->nHeld = 0;
    region->bCurrent = true;
    region->pFree = (unsigned char*)memory + kHeader;
    region->pEnd = (unsigned char*)memory + size;
    util_PoisonRoom(region->pFree, (size_t)(region->pEnd - region->pFree));
    if (m_pRegion != nullptr)
    {
        m_pRegion->bCurrent = false;
        Drop(m_pRegion, 0);
    }
    m_pRegion = region;
    if (m_nNextRegion < kLargestRegion)
        m_nNextRegion = m_nNextRegion * 8 < kLargestRegion ? m_nNextRegion * 8 : kLargestRegion;
    return true;
}

// Starts a new slab of the next size, or one of `least` objects when that is more; the
// objects left in the current one are not used.
bool UtByteArena::NextSlab(size_t least)
{
    size_t count = least > m_nNextSlab ? least : m_nNextSlab;
    const size_t kHeader = (sizeof(Slab) + alignof(UtByteBuffer) - 1) / alignof(UtByteBuffer) * alignof(UtByteBuffer);
    if (count > ((size_t)-1 - kHeader) / sizeof(UtByteBuffer))
        return false;
    // The largest slabs take a whole block of the size that huge pages are offered for.
    size_t size = kHeader + count * sizeof(UtByteBuffer);
    if (count == kLargestSlab)
        size = kHugeBlock;
    Slab* slab = static_cast<Slab*>(malloc(size));
    if (slab == nullptr)
        return false;
    if (size >= kHugeBlock)
        AdviseHugePages(slab, size);
    slab->pBefore = static_cast<Slab*>(m_pSlabs);
    m_pSlabs = slab;
    m_pSlabFree = AlignUp((unsigned char*)slab + sizeof(Slab), alignof(UtByteBuffer));
    m_pSlabEnd = m_pSlabFree + count * sizeof(UtByteBuffer);
    util_PoisonRoom(m_pSlabFree, count * sizeof(UtByteBuffer));
    if (m_nNextSlab < kLargestSlab)
        m_nNextSlab = m_nNextSlab * 8 < kLargestSlab ? m_nNextSlab * 8 : kLargestSlab;
    return true;
}
