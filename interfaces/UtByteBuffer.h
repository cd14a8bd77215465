// UtByteBuffer: a byte buffer that is either growable or a chain of fixed segments.
//
// A buffer made with UtByteBuffer(capacity) is the first segment of a chain: each
// segment holds at most `capacity` bytes, WriteData fails (returns 0) on a full
// segment, and GetNextBuffer() gives the segment that writing continues in.
// GetTotalSize() and ReadData() called on the first segment see every byte of the
// chain in order. A growable buffer (UtByteBuffer(), or the growable flag) never
// fills: it enlarges its storage instead, so no byte written to it is ever dropped.
//
// ReadData and GetTotalSize are O(1); ReadData of an index at or past the end gives 0.
//
// The rows of a data model are growable buffers that an arena makes, their bytes in large
// regions of memory as long as they fit (UtByteArena.h); to a caller they are growable
// buffers like any other, released by the model that made them.
#ifndef RIZEROZ_UTBYTEBUFFER_H
#define RIZEROZ_UTBYTEBUFFER_H

#include "RizErozExport.h"

class UtByteArena;
struct UtByteRegion;

// What a buffer belongs to besides its bytes: the record of a chain of segments, or the
// arena that made a buffer, or the arena region its bytes lie in (UtByteBuffer.cpp,
// UtByteArena.h).
struct UtByteLink
{
    enum Kind
    {
        Chain,   // the buffer is a segment of a chain
        Arena,   // the buffer was made by an arena; its bytes, if any, are its own
        Region   // the buffer was made by an arena; its bytes lie in a region of it
    };
    unsigned char nKind;
};

class RIZEROZ_API UtByteBuffer
{
public:
    // A growable, empty buffer.
    UtByteBuffer();
    // The first segment of a chain of `capacity`-byte segments; with bGrowable true,
    // a growable buffer whose storage starts at `capacity` bytes. A negative capacity
    // counts as 0.
    explicit UtByteBuffer(int capacity, bool bGrowable = false);
    // A copy holds the same bytes, in one growable buffer.
    UtByteBuffer(const UtByteBuffer& other);
    UtByteBuffer& operator=(const UtByteBuffer& other);

    // The next segment of the chain, created when there is none yet. On a growable
    // buffer this returns the buffer itself, since it never fills.
    virtual UtByteBuffer* GetNextBuffer();
    // Releases this buffer and, on the first segment, every segment chained to it.
    virtual ~UtByteBuffer();

    // Appends one byte. Non-zero when stored; 0 when this segment is full.
    // Inline for the common case of a growable buffer with room left.
    int WriteData(char c) { return WriteData((unsigned char)c); }
    int WriteData(unsigned char b)
    {
        if (IsGrowable() && m_nSize < m_nCapacity)
        {
            m_pData[m_nSize++] = b;
            return 1;
        }
        return WriteByte(b);
    }
    // Appends `count` bytes; on a chain, continues into further segments as needed.
    // Returns the number of bytes stored.
    int WriteData(const void* data, int count);

    // The byte at `index` of the chain (from 0), or 0 for an index outside it.
    unsigned char ReadData(int index) const
    {
        if (IsGrowable())
            return (unsigned int)index < m_nSize ? m_pData[index] : (unsigned char)0;
        return ReadChained(index);
    }
    // Number of bytes in the chain (on the first segment) or in this segment.
    unsigned int GetTotalSize() const { return IsGrowable() ? m_nSize : ChainedTotalSize(); }

    // Empties the buffer and every segment chained to it; writing starts again in the
    // first segment. Storage is kept for reuse.
    void ClearBuffer();

    // Copies up to `count` bytes from `index` on into `destination`; returns how many.
    int CopyData(int index, void* destination, int count) const;
    // Direct view of a growable buffer's bytes (null for an empty buffer or a chain
    // with more than one segment in use).
    const unsigned char* GetData() const;
    // Makes room for `capacity` bytes in a growable buffer, taking exactly that much
    // storage when it grows. False when the room cannot be had (or on a chain).
    bool Reserve(unsigned int capacity);
    // Appends `count` bytes of no particular value to a growable buffer and returns where
    // they begin, for the caller to fill; null, with nothing appended, when the room
    // cannot be had (or on a chain).
    unsigned char* Extend(unsigned int count);
    // Keeps the first `size` bytes of a growable buffer and drops the rest; storage left
    // unused by more than 64 bytes is given back.
    void Shrink(unsigned int size);
    bool IsGrowable() const { return m_pLink == 0 || m_pLink->nKind != UtByteLink::Chain; }

private:
    friend class UtByteArena;
    // An empty growable buffer of `arena`.
    explicit UtByteBuffer(UtByteArena* arena);

    struct Chain;
    Chain* GetChain() const;
    UtByteBuffer* GetHead() const;
    unsigned int ChainedTotalSize() const;
    unsigned char ReadChained(int index) const;
    int WriteByte(unsigned char b);
    void CountChained(UtByteBuffer* segment, unsigned int count);
    UtByteRegion* GetRegion() const;
    bool ResizeInPlace(unsigned int capacity);
    void LeaveRegion();
    void Grow(unsigned int needed);
    void Resize(unsigned int capacity);
    void ReleaseStorage();
    void ReleaseChain();

    unsigned char* m_pData;     // storage: malloc'ed and owned, or held in an arena region
    unsigned int m_nSize;       // bytes in this buffer (in this segment of a chain)
    unsigned int m_nCapacity;   // bytes the storage has room for
    UtByteLink* m_pLink;        // null for a growable buffer of its own; else its chain record, arena or region
};

#endif
