// UtByteBuffer: a growable byte buffer, or a chain of fixed-capacity segments.
//
// Growable buffers keep their bytes in one malloc'ed block that doubles when full, by at
// most 8 MB at a time, so that a large buffer never holds much more than its bytes.
// A chain starts with the segment the caller created (the head). Further segments are
// made by GetNextBuffer, all with the head's capacity, and owned by the head, which
// keeps them in order in m_pSegments and counts every byte of the chain in
// m_nTotalSize. While the chain is dense (each segment before the last one written to
// is full) the byte at index i lies in segment i / capacity, so ReadData is O(1).
// Writing into a later segment while an earlier one still has room breaks that rule;
// the head then notes the chain as gapped and reads walk the segments instead, until
// ClearBuffer empties the chain.
#include "UtByteBuffer.h"

#include <new>
#include <stdlib.h>
#include <string.h>

namespace
{
// Room a growable buffer takes when its first byte arrives.
const unsigned int kFirstGrowableCapacity = 16;
// Most a growable buffer grows by at once, beyond what it needs.
const unsigned int kLargestGrowth = 8u << 20;
// Unused storage that Shrink leaves in place.
const unsigned int kShrinkSlack = 64;
}

UtByteBuffer::UtByteBuffer()
    : m_pData(0), m_nSize(0), m_nCapacity(0), m_nTotalSize(0), m_bGrowable(true),
      m_bGapped(false), m_pHead(this), m_pNext(0), m_pSegments(0), m_nSegmentCount(0),
      m_nSegmentSlots(0)
{
}

UtByteBuffer::UtByteBuffer(int capacity, bool bGrowable)
    : m_pData(0), m_nSize(0), m_nCapacity(0), m_nTotalSize(0), m_bGrowable(bGrowable),
      m_bGapped(false), m_pHead(this), m_pNext(0), m_pSegments(0), m_nSegmentCount(0),
      m_nSegmentSlots(0)
{
    if (capacity > 0)
    {
        m_pData = (unsigned char*)malloc((size_t)capacity);
        // A failed allocation leaves a segment that takes no byte (or a growable buffer
        // that tries again on its first write).
        if (m_pData != 0)
            m_nCapacity = (unsigned int)capacity;
    }
}

UtByteBuffer::UtByteBuffer(const UtByteBuffer& other)
    : m_pData(0), m_nSize(0), m_nCapacity(0), m_nTotalSize(0), m_bGrowable(true),
      m_bGapped(false), m_pHead(this), m_pNext(0), m_pSegments(0), m_nSegmentCount(0),
      m_nSegmentSlots(0)
{
    unsigned int size = other.GetTotalSize();
    if (size == 0)
        return;
    Reserve(size);
    if (m_nCapacity < size)
        return;
    m_nSize = m_nTotalSize = (unsigned int)other.CopyData(0, m_pData, (int)size);
}

UtByteBuffer& UtByteBuffer::operator=(const UtByteBuffer& other)
{
    if (this == &other)
        return *this;

    // Take the bytes out first: `other` may be a segment of this buffer's own chain,
    // which releasing the chain would destroy.
    unsigned int size = other.GetTotalSize();
    unsigned char* bytes = 0;
    if (size > 0)
    {
        bytes = (unsigned char*)malloc(size);
        if (bytes == 0)
            return *this;
        other.CopyData(0, bytes, (int)size);
    }

    if (m_pHead != this)
    {
        // A later segment stays in the chain its head owns: it takes the bytes as
        // segments do, continuing into the segments after it.
        ClearBuffer();
        WriteData(bytes, (int)size);
        free(bytes);
        return *this;
    }

    ReleaseChain();
    free(m_pData);
    m_pData = bytes;
    m_nSize = m_nTotalSize = size;
    m_nCapacity = size;
    m_bGrowable = true;
    m_bGapped = false;
    return *this;
}

UtByteBuffer::~UtByteBuffer()
{
    if (m_pHead == this)
        ReleaseChain();
    free(m_pData);
}

UtByteBuffer* UtByteBuffer::GetNextBuffer()
{
    if (m_bGrowable)
        return this;
    if (m_pNext != 0)
        return m_pNext;

    UtByteBuffer* head = m_pHead;
    UtByteBuffer* segment = new (std::nothrow) UtByteBuffer((int)head->m_nCapacity);
    if (segment == 0)
        return 0;
    // The head's list holds the head itself first, then every later segment.
    int needed = head->m_nSegmentCount == 0 ? 2 : head->m_nSegmentCount + 1;
    if (needed > head->m_nSegmentSlots)
    {
        int slots = head->m_nSegmentSlots > 0 ? head->m_nSegmentSlots * 2 : 4;
        UtByteBuffer** grown =
            (UtByteBuffer**)realloc(head->m_pSegments, (size_t)slots * sizeof(UtByteBuffer*));
        if (grown == 0)
        {
            delete segment;
            return 0;
        }
        head->m_pSegments = grown;
        head->m_nSegmentSlots = slots;
    }
    if (head->m_nSegmentCount == 0)
        head->m_pSegments[head->m_nSegmentCount++] = head;
    segment->m_pHead = head;
    m_pNext = segment;
    head->m_pSegments[head->m_nSegmentCount++] = segment;
    return segment;
}

int UtByteBuffer::WriteData(const void* data, int count)
{
    if (data == 0 || count <= 0)
        return 0;
    const unsigned char* bytes = (const unsigned char*)data;
    unsigned int wanted = (unsigned int)count;

    if (m_bGrowable)
    {
        if (m_nSize + wanted < m_nSize)
            return 0;   // more than the buffer can count
        if (m_nCapacity - m_nSize < wanted)
            Grow(m_nSize + wanted);
        if (m_nCapacity - m_nSize < wanted)
            return 0;
        memcpy(m_pData + m_nSize, bytes, wanted);
        m_nSize += wanted;
        m_nTotalSize += wanted;
        return count;
    }

    // Segments of a capacity of 0 never take a byte, however many follow.
    if (m_nCapacity == 0)
        return 0;

    unsigned int stored = 0;
    UtByteBuffer* segment = this;
    UtByteBuffer* head = m_pHead;
    while (stored < wanted)
    {
        unsigned int room = segment->m_nCapacity - segment->m_nSize;
        if (room > 0)
        {
            unsigned int chunk = wanted - stored < room ? wanted - stored : room;
            if (head->m_pSegments != 0 && !head->m_bGapped &&
                head->m_pSegments[head->m_nTotalSize / head->m_nCapacity] != segment)
                head->m_bGapped = true;
            memcpy(segment->m_pData + segment->m_nSize, bytes + stored, chunk);
            segment->m_nSize += chunk;
            if (segment != head)
                segment->m_nTotalSize += chunk;
            head->m_nTotalSize += chunk;
            stored += chunk;
        }
        if (stored < wanted)
        {
            UtByteBuffer* next = segment->GetNextBuffer();
            if (next == 0 || next == segment)
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
        if (!m_bGrowable)
            return 0;
        Grow(m_nSize + 1);
        if (m_nSize == m_nCapacity)
            return 0;
    }

    UtByteBuffer* head = m_pHead;
    // On a dense chain the next byte belongs in segment total / capacity; a byte that
    // lands anywhere else leaves an earlier segment with room behind it.
    if (head->m_pSegments != 0 && !head->m_bGapped &&
        head->m_pSegments[head->m_nTotalSize / head->m_nCapacity] != this)
        head->m_bGapped = true;

    m_pData[m_nSize++] = b;
    if (head != this)
        ++m_nTotalSize;
    ++head->m_nTotalSize;
    return 1;
}

unsigned char UtByteBuffer::ReadChained(int index) const
{
    if (index < 0 || (unsigned int)index >= m_nTotalSize)
        return 0;
    unsigned int position = (unsigned int)index;
    if (!m_bGapped)
    {
        // Dense: every segment before the one holding the index is full.
        const UtByteBuffer* segment = m_pSegments[position / m_nCapacity];
        return segment->m_pData[position % m_nCapacity];
    }
    for (int i = 0; i < m_nSegmentCount; ++i)
    {
        const UtByteBuffer* segment = m_pSegments[i];
        if (position < segment->m_nSize)
            return segment->m_pData[position];
        position -= segment->m_nSize;
    }
    return 0;
}

void UtByteBuffer::ClearBuffer()
{
    UtByteBuffer* head = m_pHead;
    unsigned int removed = 0;
    for (UtByteBuffer* segment = this; segment != 0; segment = segment->m_pNext)
    {
        removed += segment->m_nSize;
        segment->m_nSize = 0;
        segment->m_nTotalSize = 0;
    }
    if (head != this)
    {
        // Emptying the tail of a chain: the head keeps the bytes before this segment.
        // A chain that was dense stays dense; a gapped one keeps walking.
        head->m_nTotalSize -= removed;
        return;
    }
    m_nTotalSize = 0;
    m_bGapped = false;
}

int UtByteBuffer::CopyData(int index, void* destination, int count) const
{
    if (index < 0 || destination == 0 || count <= 0 || (unsigned int)index >= m_nTotalSize)
        return 0;
    unsigned int position = (unsigned int)index;
    unsigned int wanted = m_nTotalSize - position;
    if ((unsigned int)count < wanted)
        wanted = (unsigned int)count;
    unsigned char* out = (unsigned char*)destination;

    if (m_pSegments == 0)
    {
        memcpy(out, m_pData + position, wanted);
        return (int)wanted;
    }

    unsigned int copied = 0;
    for (int i = 0; i < m_nSegmentCount && copied < wanted; ++i)
    {
        const UtByteBuffer* segment = m_pSegments[i];
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
    if (m_nTotalSize == 0 || m_nTotalSize != m_nSize)
        return 0;
    return m_pData;
}

bool UtByteBuffer::Reserve(unsigned int capacity)
{
    if (!m_bGrowable)
        return false;
    if (capacity > m_nCapacity)
        Resize(capacity);
    return m_nCapacity >= capacity;
}

unsigned char* UtByteBuffer::Extend(unsigned int count)
{
    if (m_nSize + count < m_nSize || !Reserve(m_nSize + count))
        return 0;
    unsigned char* room = m_pData + m_nSize;
    m_nSize += count;
    m_nTotalSize += count;
    return room;
}

void UtByteBuffer::Shrink(unsigned int size)
{
    if (!m_bGrowable || size > m_nSize)
        return;
    m_nSize = m_nTotalSize = size;
    if (m_nCapacity - size > kShrinkSlack)
        Resize(size);
}

void UtByteBuffer::Grow(unsigned int needed)
{
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
    if (capacity == 0)
    {
        free(m_pData);
        m_pData = 0;
        m_nCapacity = 0;
        return;
    }
    unsigned char* resized = (unsigned char*)realloc(m_pData, capacity);
    if (resized == 0)
        return;
    m_pData = resized;
    m_nCapacity = capacity;
}

void UtByteBuffer::ReleaseChain()
{
    UtByteBuffer* segment = m_pNext;
    while (segment != 0)
    {
        UtByteBuffer* next = segment->m_pNext;
        // Let the segment's destructor see itself as unchained: it frees only its data.
        segment->m_pHead = segment;
        segment->m_pNext = 0;
        delete segment;
        segment = next;
    }
    free(m_pSegments);
    m_pSegments = 0;
    m_nSegmentCount = 0;
    m_nSegmentSlots = 0;
    m_pNext = 0;
}
