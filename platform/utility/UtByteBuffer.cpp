// UtByteBuffer: a growable byte buffer, or a chain of fixed-capacity segments.
//
// Growable buffers keep their bytes in one block that doubles when full, by at most 8 MB
// at a time, so that a large buffer never holds much more than its bytes. The block is
// malloc'ed and owned, or, for a buffer an arena made, taken from one of the arena's
// regions when the buffer first needs storage (UtByteArena.h): it grows and shrinks
// there while it is the last thing taken from the region, and moves to a block of its
// own when it cannot.
//
// A chain starts with the segment the caller created (the head). Further segments are
// made by GetNextBuffer, all with the head's capacity; each has a chain record with its
// head and its next segment, and the head's record keeps every segment in order and
// counts every byte of the chain. A head that has no further segment yet has no record
// either: it points at a shared, never written one that only says "segment". While the
// chain is dense (each segment before the last one written to is full) the byte at index
// i lies in segment i / capacity, so ReadData is O(1). Writing into a later segment while
// an earlier one still has room breaks that rule; the head then notes the chain as gapped
// and reads walk the segments instead, until ClearBuffer empties the chain.
#include "UtByteBuffer.h"

#include <new>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "UtByteArena.h"

namespace
{
// Room a growable buffer takes when its first byte arrives.
const unsigned int kFirstGrowableCapacity = 16;
// Most a growable buffer grows by at once, beyond what it needs.
const unsigned int kLargestGrowth = 8u << 20;
// Unused storage that Shrink leaves in place.
const unsigned int kShrinkSlack = 64;

// The link of a head segment without further segments (never written).
UtByteLink g_loneSegment = {UtByteLink::Chain};
}

struct UtByteBuffer::Chain : UtByteLink
{
    UtByteBuffer* pHead;
    UtByteBuffer* pNext;   // the next segment, owned by the head; null for the last
    // The head's record only:
    UtByteBuffer** ppSegments;   // every segment in order, the head first
    int nCount;
    int nSlots;
    unsigned int nTotal;   // bytes in the whole chain
    bool bGapped;          // a later segment was written while an earlier one had room
};

UtByteBuffer::UtByteBuffer() : m_pData(nullptr), m_nSize(0), m_nCapacity(0), m_pLink(nullptr) {}

UtByteBuffer::UtByteBuffer(int capacity, bool bGrowable)
    : m_pData(nullptr), m_nSize(0), m_nCapacity(0), m_pLink(bGrowable ? nullptr : &g_loneSegment)
{
    if (capacity > 0)
    {
        m_pData = (unsigned char*)malloc((size_t)capacity);
        // A failed allocation leaves a segment that takes no byte (or a growable buffer
        // that tries again on its first write).
        if (m_pData != nullptr)
            m_nCapacity = (unsigned int)capacity;
    }
}

UtByteBuffer::UtByteBuffer(UtByteArena* arena) : m_pData(nullptr), m_nSize(0), m_nCapacity(0), m_pLink(arena) {}

UtByteBuffer::UtByteBuffer(const UtByteBuffer& other) : m_pData(nullptr), m_nSize(0), m_nCapacity(0), m_pLink(nullptr)
{
    unsigned int size = other.GetTotalSize();
    if (size == 0)
        return;
    Reserve(size);
    if (m_nCapacity < size)
        return;
    m_nSize = (unsigned int)other.CopyData(0, m_pData, (int)size);
}

UtByteBuffer& UtByteBuffer::operator=(const UtByteBuffer& other)
{
    if (this == &other)
        return *this;

    // Take the bytes out first: `other` may be a segment of this buffer's own chain,
    // which releasing the chain would destroy.
    unsigned int size = other.GetTotalSize();
    unsigned char* bytes = nullptr;
    if (size > 0)
    {
        bytes = (unsigned char*)malloc(size);
        if (bytes == nullptr)
            return *this;
        other.CopyData(0, bytes, (int)size);
    }

    if (GetHead() != this)
    {
        // A later segment stays in the chain its head owns: it takes the bytes as
        // segments do, continuing into the segments after it.
        ClearBuffer();
        WriteData(bytes, (int)size);
        free(bytes);
        return *this;
    }

    ReleaseChain();
    ReleaseStorage();
    m_pData = bytes;
    m_nSize = m_nCapacity = size;
    // A buffer an arena made stays the arena's; its bytes are now its own.
    if (!IsGrowable())
        m_pLink = nullptr;
    return *this;
}

UtByteBuffer::~UtByteBuffer()
{
    if (GetHead() == this)
        ReleaseChain();
    ReleaseStorage();
}

UtByteBuffer::Chain* UtByteBuffer::GetChain() const
{
    return !IsGrowable() && m_pLink != &g_loneSegment ? static_cast<Chain*>(m_pLink) : nullptr;
}

UtByteBuffer* UtByteBuffer::GetHead() const
{
    Chain* chain = GetChain();
    return chain != nullptr ? chain->pHead : const_cast<UtByteBuffer*>(this);
}

UtByteBuffer* UtByteBuffer::GetNextBuffer()
{
    if (IsGrowable())
        return this;
    Chain* chain = GetChain();
    if (chain != nullptr && chain->pNext != nullptr)
        return chain->pNext;

    // This is the last segment: a new one follows it. A lone head gets its record now.
    UtByteBuffer* head = GetHead();
    Chain* headChain = head->GetChain();
    Chain* made = nullptr;
    if (headChain == nullptr)
    {
        headChain = made = new (std::nothrow) Chain();
        if (made == nullptr)
            return nullptr;
        made->nKind = UtByteLink::Chain;
        made->pHead = head;
        made->nTotal = head->m_nSize;
    }
    UtByteBuffer* segment = new (std::nothrow) UtByteBuffer((int)head->m_nCapacity);
    Chain* record = segment != nullptr ? new (std::nothrow) Chain() : nullptr;
    int needed = headChain->nCount == 0 ? 2 : headChain->nCount + 1;
    if (record != nullptr && needed > headChain->nSlots)
    {
        int slots = headChain->nSlots > 0 ? headChain->nSlots * 2 : 4;
        UtByteBuffer** grown = (UtByteBuffer**)realloc(headChain->ppSegments, (size_t)slots * sizeof(UtByteBuffer*));
        if (grown != nullptr)
        {
            headChain->ppSegments = grown;
            headChain->nSlots = slots;
        }
    }
    if (record == nullptr || needed > headChain->nSlots)
    {
        delete record;
        delete segment;
        if (made != nullptr)
        {
            free(made->ppSegments);
            delete made;
        }
        return nullptr;
    }
    if (made != nullptr)
        head->m_pLink = made;
    if (headChain->nCount == 0)
        headChain->ppSegments[headChain->nCount++] = head;
    record->nKind = UtByteLink::Chain;
    record->pHead = head;
    segment->m_pLink = record;
    (chain != nullptr ? chain : headChain)->pNext = segment;
    headChain->ppSegments[headChain->nCount++] = segment;
    return segment;
}

// `count` bytes were written into `segment` of this (head's) chain.
void UtByteBuffer::CountChained(UtByteBuffer* segment, unsigned int count)
{
    Chain* chain = GetChain();
    if (chain == nullptr)
        return;   // a lone head counts its bytes in m_nSize
    // On a dense chain the next byte belongs in segment total / capacity; a byte that
    // lands anywhere else leaves an earlier segment with room behind it.
    if (!chain->bGapped && chain->ppSegments[chain->nTotal / m_nCapacity] != segment)
        chain->bGapped = true;
    chain->nTotal += count;
}

int UtByteBuffer::WriteData(const void* data, int count)
{
    if (data == nullptr || count <= 0)
        return 0;
    const unsigned char* bytes = (const unsigned char*)data;
    unsigned int wanted = (unsigned int)count;

    if (IsGrowable())
    {
        if (m_nSize + wanted < m_nSize)
            return 0;   // more than the buffer can count
        if (m_nCapacity - m_nSize < wanted)
            Grow(m_nSize + wanted);
        if (m_nCapacity - m_nSize < wanted)
            return 0;
        memcpy(m_pData + m_nSize, bytes, wanted);
        m_nSize += wanted;
        return count;
    }

    // Segments of a capacity of 0 never take a byte, however many follow.
    if (m_nCapacity == 0)
        return 0;

    unsigned int stored = 0;
    UtByteBuffer* segment = this;
    UtByteBuffer* head = GetHead();
    while (stored < wanted)
    {
        unsigned int room = segment->m_nCapacity - segment->m_nSize;
        if (room > 0)
        {
            unsigned int chunk = wanted - stored < room ? wanted - stored : room;
            head->CountChained(segment, chunk);
            memcpy(segment->m_pData + segment->m_nSize, bytes + stored, chunk);
            segment->m_nSize += chunk;
            stored += chunk;
        }
        if (stored < wanted)
        {
            UtByteBuffer* next = segment->GetNextBuffer();
            if (next == nullptr || next == segment)
                break;
            segment = next;
        }
    }
    return (int)stored;
}

int UtByteBuffer::WriteByte(unsigned char b)
{
    if (m_nSize == m_nCapacity)
    {
        if (!IsGrowable())
            return 0;
        Grow(m_nSize + 1);
        if (m_nSize == m_nCapacity)
            return 0;
    }
    if (!IsGrowable())
        GetHead()->CountChained(this, 1);
    m_pData[m_nSize++] = b;
    return 1;
}

unsigned int UtByteBuffer::ChainedTotalSize() const
{
    Chain* chain = GetChain();
    return chain != nullptr && chain->pHead == this ? chain->nTotal : m_nSize;
}

unsigned char UtByteBuffer::ReadChained(int index) const
{
    Chain* chain = GetChain();
    if (chain == nullptr || chain->pHead != this)
        return (unsigned int)index < m_nSize ? m_pData[index] : (unsigned char)0;
    if (index < 0 || (unsigned int)index >= chain->nTotal)
        return 0;
    unsigned int position = (unsigned int)index;
    if (!chain->bGapped)
    {
        // Dense: every segment before the one holding the index is full.
        const UtByteBuffer* segment = chain->ppSegments[position / m_nCapacity];
        return segment->m_pData[position % m_nCapacity];
    }
    for (int i = 0; i < chain->nCount; ++i)
    {
        const UtByteBuffer* segment = chain->ppSegments[i];
        if (position < segment->m_nSize)
            return segment->m_pData[position];
        position -= segment->m_nSize;
    }
    return 0;
}

void UtByteBuffer::ClearBuffer()
{
    Chain* chain = GetChain();
    if (chain == nullptr)
    {
        m_nSize = 0;
        return;
    }
    unsigned int removed = 0;
    for (UtByteBuffer* segment = this; segment != nullptr; segment = segment->GetChain()->pNext)
    {
        removed += segment->m_nSize;
        segment->m_nSize = 0;
    }
    Chain* headChain = chain->pHead->GetChain();
    if (chain->pHead != this)
    {
        // Emptying the tail of a chain: the head keeps the bytes before this segment.
        // A chain that was dense stays dense; a gapped one keeps walking.
        headChain->nTotal -= removed;
        return;
    }
    headChain->nTotal = 0;
    headChain->bGapped = false;
}

int UtByteBuffer::CopyData(int index, void* destination, int count) const
{
    unsigned int total = GetTotalSize();
    if (index < 0 || destination == nullptr || count <= 0 || (unsigned int)index >= total)
        return 0;
    unsigned int position = (unsigned int)index;
    unsigned int wanted = total - position;
    if ((unsigned int)count < wanted)
        wanted = (unsigned int)count;
    unsigned char* out = (unsigned char*)destination;

    Chain* chain = GetChain();
    if (chain == nullptr || chain->pHead != this)
    {
        memcpy(out, m_pData + position, wanted);
        return (int)wanted;
    }

    unsigned int copied = 0;
    for (int i = 0; i < chain->nCount && copied < wanted; ++i)
    {
        const UtByteBuffer* segment = chain->ppSegments[i];
        if (position >= segment->m_nSize)
        {
            position -= segment->m_nSize;
            continue;
        }
        unsigned int chunk = segment->m_nSize - position;
        if (chunk > wanted - copied)
            chunk = wanted - copied;
        memcpy(out + copied, segment->m_pData + position, chunk);
        copied += chunk;
        position = 0;
    }
    return (int)copied;
}

const unsigned char* UtByteBuffer::GetData() const
{
    // Only when this buffer's own storage holds every byte it reports.
    unsigned int total = GetTotalSize();
    if (total == 0 || total != m_nSize)
        return nullptr;
    return m_pData;
}

bool UtByteBuffer::Reserve(unsigned int capacity)
{
    if (!IsGrowable())
        return false;
    if (capacity > m_nCapacity)
        Resize(capacity);
    return m_nCapacity >= capacity;
}

unsigned char* UtByteBuffer::Extend(unsigned int count)
{
    if (m_nSize + count < m_nSize || !Reserve(m_nSize + count))
        return nullptr;
    unsigned char* room = m_pData + m_nSize;
    m_nSize += count;
    return room;
}

void UtByteBuffer::Shrink(unsigned int size)
{
    if (!IsGrowable() || size > m_nSize)
        return;
    m_nSize = size;
    // Room in a region goes back at no cost; a block of its own is made smaller only
    // when that saves enough.
    if (GetRegion() != nullptr || m_nCapacity - size > kShrinkSlack)
        Resize(size);
}

UtByteRegion* UtByteBuffer::GetRegion() const
{
    return m_pLink != nullptr && m_pLink->nKind == UtByteLink::Region ? static_cast<UtByteRegion*>(m_pLink) : nullptr;
}

// Gives storage in a region `capacity` bytes where it lies: by taking room from the region
// or giving it back, when the storage is the last thing taken from it; by letting room go,
// when it only shrinks. Storage shrunk to nothing leaves the region. False when the
// storage must move.
bool UtByteBuffer::ResizeInPlace(unsigned int capacity)
{
    UtByteRegion* region = GetRegion();
    if (region == nullptr)
        return false;
    if (capacity == 0)
    {
        LeaveRegion();
        return true;
    }
    bool last = m_pData + m_nCapacity == region->pFree;
    if (capacity > m_nCapacity && (!last || capacity - m_nCapacity > (size_t)(region->pEnd - region->pFree)))
        return false;
    if (capacity > m_nCapacity)
    {
        util_UnpoisonRoom(region->pFree, capacity - m_nCapacity);
        region->nHeld += capacity - m_nCapacity;
    }
    else
    {
        util_PoisonRoom(m_pData + capacity, m_nCapacity - capacity);
        region->nHeld -= m_nCapacity - capacity;
    }
    if (last)
        region->pFree = m_pData + capacity;
    m_nCapacity = capacity;
    return true;
}

// Lets go of the buffer's storage in its region (given back to the region when it is
// the last thing taken from it); the buffer is its arena's, with no storage.
void UtByteBuffer::LeaveRegion()
{
    UtByteRegion* region = GetRegion();
    if (m_pData + m_nCapacity == region->pFree)
        region->pFree = m_pData;
    util_PoisonRoom(m_pData, m_nCapacity);
    m_pLink = region->pArena;
    m_pData = nullptr;
    unsigned int held = m_nCapacity;
    m_nCapacity = 0;
    UtByteArena::Drop(region, held);
}

void UtByteBuffer::Grow(unsigned int needed)
{
    // Storage in a region takes just what it needs while it can stay where it is; a
    // buffer of an arena without storage takes just that much from the arena.
    if (ResizeInPlace(needed))
        return;
    if (m_pData == nullptr && m_pLink != nullptr && m_pLink->nKind == UtByteLink::Arena)
    {
        Resize(needed);
        if (m_nCapacity >= needed)
            return;
    }
    // Double, but by at most kLargestGrowth at a time; never less than what is needed.
    unsigned long long capacity = m_nCapacity > 0 ? m_nCapacity : kFirstGrowableCapacity;
    capacity += capacity < kLargestGrowth ? capacity : kLargestGrowth;
    if (capacity < needed)
        capacity = needed;
    Resize(capacity > 0xFFFFFFFFull ? 0xFFFFFFFFu : (unsigned int)capacity);
}

// Gives the storage exactly `capacity` bytes (at least the bytes held); on a failed
// allocation the old storage and its bytes stay as they were.
void UtByteBuffer::Resize(unsigned int capacity)
{
    if (capacity < m_nSize)
        capacity = m_nSize;
    if (ResizeInPlace(capacity))
        return;
    if (GetRegion() != nullptr)
    {
        // Out of the region, into a block of its own.
        unsigned char* own = (unsigned char*)malloc(capacity);
        if (own == nullptr)
            return;
        memcpy(own, m_pData, m_nSize);
        LeaveRegion();
        m_pData = own;
        m_nCapacity = capacity;
        return;
    }
    if (m_pData == nullptr && capacity > 0 && m_pLink != nullptr && m_pLink->nKind == UtByteLink::Arena)
    {
        // A buffer of an arena takes its first storage from the arena's regions.
        UtByteRegion* region = nullptr;
        unsigned char* room = static_cast<UtByteArena*>(m_pLink)->Take(capacity, &region);
        if (room != nullptr)
        {
            m_pData = room;
            m_nCapacity = capacity;
            m_pLink = region;
            return;
        }
    }
    if (capacity == 0)
    {
        free(m_pData);
        m_pData = nullptr;
        m_nCapacity = 0;
        return;
    }
    unsigned char* resized = (unsigned char*)realloc(m_pData, capacity);
    if (resized == nullptr)
        return;
    m_pData = resized;
    m_nCapacity = capacity;
}

void UtByteBuffer::ReleaseStorage()
{
    if (GetRegion() != nullptr)
        LeaveRegion();
    else
        free(m_pData);
    m_pData = nullptr;
    m_nCapacity = 0;
}

// Releases every later segment and the chain's records; this (the head) becomes a lone
// segment again, keeping its own bytes.
void UtByteBuffer::ReleaseChain()
{
    Chain* chain = GetChain();
    if (chain == nullptr)
        return;
    UtByteBuffer* segment = chain->pNext;
    while (segment != nullptr)
    {
        Chain* record = segment->GetChain();
        UtByteBuffer* next = record->pNext;
        // Let the segment's destructor see itself as a lone head: it frees only its data.
        segment->m_pLink = &g_loneSegment;
        delete record;
        delete segment;
        segment = next;
    }
    free(chain->ppSegments);
    delete chain;
    m_pLink = &g_loneSegment;
}
