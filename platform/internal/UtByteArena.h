// UtByteArena: makes growable byte buffers whose objects lie in slabs and whose bytes lie
// in large regions of memory, instead of two heap blocks per buffer. The data model keeps
// its rows in one. Internal to the library (not exported, not installed).
//
// A buffer made by NewBuffer takes its storage from the arena's current region, exactly as
// much as it asks for, when it first needs some. It grows in place while its storage is
// the last thing taken from the region and the region has room, and gives room back when
// it shrinks; beyond that it moves its bytes to a block of its own, as any growable
// buffer, so every promise of UtByteBuffer holds. A region counts the bytes its buffers
// hold and is freed when none are left (and the arena takes from another one), so that
// rows let go of, or emptied, give their memory back. Regions start small and grow to a
// few megabytes; on Linux the large ones are offered huge pages (one page fault for 2 MB).
// Buffer objects are kept in slabs that the arena frees when it goes; the object of a
// deleted buffer serves the next new one.
//
// An arena is shared by counted references (a model, its fields and their blocks); it
// takes no lock, like the model that uses it.
#ifndef RIZEROZ_UTBYTEARENA_H
#define RIZEROZ_UTBYTEARENA_H

#include <stddef.h>

#include "UtByteBuffer.h"

// Under AddressSanitizer the room of a region that no buffer holds, and the objects of
// deleted buffers, are poisoned, so that touching memory past a row's bytes is caught as
// it would be past a block of its own.
#if defined(__SANITIZE_ADDRESS__)
#define RIZEROZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RIZEROZ_ASAN 1
#endif
#endif
#if defined(RIZEROZ_ASAN)
#include <sanitizer/asan_interface.h>
inline void util_PoisonRoom(const void* start, size_t size)
{
    ASAN_POISON_MEMORY_REGION(start, size);
}
inline void util_UnpoisonRoom(const void* start, size_t size)
{
    ASAN_UNPOISON_MEMORY_REGION(start, size);
}
#else
inline void util_PoisonRoom(const void*, size_t) {}
inline void util_UnpoisonRoom(const void*, size_t) {}
#endif

// A region: this header, then the bytes that buffers take from it.
struct UtByteRegion : UtByteLink
{
    UtByteArena* pArena;    // the arena it belongs to
    size_t nHeld;           // bytes that buffers hold in it
    bool bCurrent;          // the arena still takes room from it
    unsigned char* pFree;   // the first byte not taken yet
    unsigned char* pEnd;    // the end of the region
};

class UtByteArena : public UtByteLink
{
public:
    // A new arena with one reference, or null when memory runs out.
    static UtByteArena* Create();
    // Counted references; the last Release destroys the arena, which must hold no
    // buffer by then. Both accept null.
    static UtByteArena* Acquire(UtByteArena* arena);
    static void Release(UtByteArena* arena);

    // A new, empty growable buffer of the arena; null when memory runs out.
    UtByteBuffer* NewBuffer();
    // Destroys a buffer made by any arena's NewBuffer (or, by delete, one made by new).
    static void DeleteBuffer(UtByteBuffer* buffer);
    // Prepares for `count` buffers that will hold `bytes` in all: when the current slab
    // or region lacks the room, the next one is made to fit them, for a copy that knows
    // the size of what it makes.
    void Expect(size_t count, size_t bytes);

    // For UtByteBuffer: `size` bytes at the end of the current region (or of a new one),
    // with *region set; null when the arena does not give that much at once.
    unsigned char* Take(size_t size, UtByteRegion** region);
    // For UtByteBuffer: `size` bytes of `region` are no longer held.
    static void Drop(UtByteRegion* region, size_t size);

    // A writer holds the model whose rows the arena keeps for the time of a write (counted):
    // the model, its fields and its blocks all see it through the arena they share.
    void Hold() { ++m_nHolds; }
    void Unhold() { --m_nHolds; }
    bool IsHeld() const { return m_nHolds > 0; }

private:
    UtByteArena();
    ~UtByteArena();
    UtByteArena(const UtByteArena&) = delete;
    UtByteArena& operator=(const UtByteArena&) = delete;
    bool NextRegion(size_t least);
    bool NextSlab(size_t least);

    UtByteRegion* m_pRegion;      // the region room is taken from, or null
    size_t m_nNextRegion;         // size of the next region
    void* m_pSlabs;               // slabs of buffer objects, each starting with a link to the one before
    unsigned char* m_pSlabFree;   // the first object of the newest slab not handed out yet
    unsigned char* m_pSlabEnd;
    size_t m_nNextSlab;     // objects in the next slab
    void* m_pFreeObjects;   // objects of deleted buffers, each starting with a link to the next
    size_t m_nFreeObjects;
    int m_nReferences;
    int m_nHolds = 0;
};

#endif
