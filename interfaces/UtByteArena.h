// UtByteArena: places growable byte buffers, and their bytes, in large regions of memory
// instead of two heap blocks per buffer. The data model keeps its rows in one. Internal to
// the library (not exported, not installed).
//
// A buffer made by NewBuffer lies in the arena's current region; the bytes written to it
// follow it in the same region for as long as it is the last thing taken from there and
// the region has room, and Shrink gives back room it does not use. Beyond that the
// buffer moves its bytes to storage of its own, as any growable buffer, so every promise
// of UtByteBuffer holds. Each region counts the buffers in it and is freed with the last
// one, so that releasing rows gives their memory back. Regions start small and grow to a
// few megabytes; on Linux the large ones are offered huge pages (one page fault for 2 MB).
//
// An arena is shared by counted references (a model, its fields and their blocks); it
// takes no lock, like the model that uses it.
#ifndef RIZEROZ_UTBYTEARENA_H
#define RIZEROZ_UTBYTEARENA_H

#include <stddef.h>

#include "UtByteBuffer.h"

// Under AddressSanitizer the room of a region that no buffer holds is poisoned, so that
// touching memory past a row's bytes is caught as it would be past a block of its own.
#if defined(__SANITIZE_ADDRESS__)
#define RIZEROZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RIZEROZ_ASAN 1
#endif
#endif
#if defined(RIZEROZ_ASAN)
#include <sanitizer/asan_interface.h>
inline void util_PoisonRoom(const void* start, size_t size) { ASAN_POISON_MEMORY_REGION(start, size); }
inline void util_UnpoisonRoom(const void* start, size_t size) { ASAN_UNPOISON_MEMORY_REGION(start, size); }
#else
inline void util_PoisonRoom(const void*, size_t) {}
inline void util_UnpoisonRoom(const void*, size_t) {}
#endif

// A region: this header, then the buffers and bytes taken from it.
struct UtByteRegion : UtByteLink
{
    size_t nHolds;          // buffers in the region, and one while the arena takes from it
    unsigned char* pFree;   // the first byte not taken yet
    unsigned char* pEnd;    // the end of the region
};

class UtByteArena
{
public:
    // A new arena with one reference, or null when memory runs out.
    static UtByteArena* Create();
    // Counted references; the last Release destroys the arena. Both accept null.
    static UtByteArena* Acquire(UtByteArena* arena);
    static void Release(UtByteArena* arena);

    // A new, empty growable buffer in the arena; null when memory runs out.
    UtByteBuffer* NewBuffer();
    // Prepares room for buffers that will hold `bytes` in all (the sum of Footprint of
    // their sizes): when the current region lacks it, the next region is made to fit
    // them, for a copy that knows the size of what it places.
    void Expect(size_t bytes);
    // What a buffer of `size` bytes takes in a region, itself included, when placed
    // right after another one.
    static size_t Footprint(size_t size)
    {
        const size_t kAlign = alignof(UtByteBuffer);
        return sizeof(UtByteBuffer) + (size + kAlign - 1) / kAlign * kAlign;
    }
    // Destroys a buffer made by any arena's NewBuffer (or, by delete, one made by new).
    static void DeleteBuffer(UtByteBuffer* buffer);

private:
    UtByteArena();
    ~UtByteArena();
    UtByteArena(const UtByteArena&);
    UtByteArena& operator=(const UtByteArena&);
    bool NextRegion(size_t least);
    static void ReleaseRegion(UtByteRegion* region);

    UtByteRegion* m_pRegion;   // the region buffers are placed in, or null
    size_t m_nNextSize;        // size of the next region
    int m_nReferences;
};

#endif
