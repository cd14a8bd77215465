// The bytes of an input read once, kept for libxml2 as the reader takes them (HeldInput.h).
#include "HeldInput.h"

#include <string.h>

#include <algorithm>
#include <new>

#include "Progress.h"

namespace
{
const size_t kPiece = 1 << 20;
}

int HeldInput::Read(char* buffer, size_t capacity, size_t* count)
{
    *count = 0;
    int failure = m_input.Read(buffer, capacity, count);
    if (failure != 0)
        m_failure = failure;
    else if (*count == 0)
        m_ended = true;
    Hold(buffer, *count);
    return failure;
}

void HeldInput::Drain(Progress* progress)
{
    char buffer[1 << 16];
    while (!m_ended && m_failure == 0 && !m_dropped)
    {
        size_t count = 0;
        m_failure = m_input.Read(buffer, sizeof(buffer), &count);
        m_drainFailed = m_failure != 0;
        m_ended = !m_drainFailed && count == 0;
        Hold(buffer, count);
        if (progress != nullptr)
            progress->Update(m_held, 0);
    }
}

// Keeps `count` bytes, as far as kMostHeld and memory let it.
void HeldInput::Hold(const char* bytes, size_t count)
{
    while (count > 0 && !m_dropped && m_held < kMostHeld)
    {
        size_t at = (size_t)(m_held % kPiece);
        if (at == 0)
        {
            char* piece = new (std::nothrow) char[kPiece];
            if (piece == nullptr)
                break;
            m_pieces.emplace_back(piece);
        }
        size_t take = (size_t)std::min<unsigned long long>({count, kPiece - at, kMostHeld - m_held});
        memcpy(m_pieces.back().get() + at, bytes, take);
        m_held += take;
        bytes += take;
        count -= take;
    }
    m_dropped = m_dropped || count > 0;
}

bool HeldInput::Rewind()
{
    m_next = 0;
    return true;
}

long long HeldInput::Next(char* buffer, size_t capacity)
{
    size_t at = (size_t)(m_next % kPiece);
    size_t take = (size_t)std::min<unsigned long long>({capacity, kPiece - at, m_held - m_next});
    if (take > 0)
        memcpy(buffer, m_pieces[(size_t)(m_next / kPiece)].get() + at, take);
    m_next += take;
    return (long long)take;
}

bool HeldInput::EndsEarly(std::string& why) const
{
    why.clear();
    if (m_dropped)
        why = m_held >= kMostHeld ? "the tool keeps at most 1 GiB of an input that it reads once (a pipe, a FIFO or a "
                                    "device)"
                                  : "there is no memory to keep more of an input that the tool reads once";
    else if (m_drainFailed)
        why = std::string("reading the input failed here (") + strerror(m_failure) + ")";
    return m_dropped || !m_ended;
}
