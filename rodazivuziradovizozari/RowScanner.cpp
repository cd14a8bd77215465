// The row machine (RowScanner.h): one pass over a field block's text, one record per row.
#include "RowScanner.h"

#include <string.h>

#include "RODAzivUzirAdovIzozari.h"
#include "UtFastText.h"
#include "UtUtility.h"

namespace
{
// Character classes of the row text: white space (util_IsWhiteSpace), the two characters
// that end a row (',' and 0), and everything else. One table look-up per character.
enum RowCharKind
{
    KindOther = 0,
    KindSpace = 1,
    KindEndOfRow = 2
};

struct RowCharTable
{
    unsigned char kind[256];

    constexpr RowCharTable() : kind()
    {
        for (int c = 0; c < 256; ++c)
            kind[c] = util_IsWhiteSpace((char)c) ? KindSpace : KindOther;
        kind[(unsigned char)','] = kind[0] = KindEndOfRow;
    }
};

constexpr RowCharTable kRowChars;
}

SVFRowScanner::SVFRowScanner(const unsigned char* text, size_t size, unsigned int limit)
    : m_p(text), m_end(text + size), m_limit(limit)
{
}

int SVFRowScanner::Next(UtByteBuffer* row, SVFRowRecord* record)
{
    *record = SVFRowRecord();
    record->begin = m_p;
    m_out = m_outBegin = m_outEnd = nullptr;
    // The next character, and the one that ends the row, are kept here until the row ends.
    const unsigned char* p = m_p;
    const unsigned char* const end = m_end;
    const unsigned char* rowEnd = p;
    SVFRowState state = SVFRowState::Start;
    for (;;)
    {
        if (state == SVFRowState::HighDigit)
        {
            // The bulk of a literal: whole digit pairs, one byte each, and the white
            // space between them (the line breaks of a long row), as far as they go.
            size_t used = 0;
            m_out += util_DecodeHexRun(p, (size_t)(end - p), m_out, (size_t)(m_outEnd - m_out), &used);
            p += used;
            if (m_out == m_outEnd && !m_bBounded)
            {
                // The room the row before suggested is full: room for all the row may hold.
                if (GrowLiteral(row, p) < 0)
                {
                    record->state = state;
                    return FinishLiteral(row, SVF_ERR_NO_MEMORY);
                }
                continue;
            }
        }
        else if (state == SVFRowState::InExpression)
        {
            // An expression's text goes on to the row's end.
            while (p < end && kRowChars.kind[*p] != KindEndOfRow)
                ++p;
        }
        // Past the end of the text the character is 0, which ends the row.
        rowEnd = p;
        unsigned char c = p < end ? *p++ : 0;
        unsigned char kind = kRowChars.kind[c];
        if (kind == KindSpace)
            continue;
        if (kind == KindEndOfRow)
            break;
        int result = Step(c, p, row, record, state);
        if (result < 0)
        {
            record->state = state;
            return result;
        }
    }
    m_p = p;
    record->end = rowEnd;
    record->state = state;
    record->last = p >= end;
    // Whatever state the row ended in, a pending digit or a lone prefix adds nothing.
    if (m_outBegin == nullptr)
        return 0;
    size_t kept = (size_t)(m_out - m_outBegin);
    record->bytes = (unsigned int)(kept < m_limit ? kept : m_limit);
    m_nGuess = kept + 1;
    return FinishLiteral(row, kept > m_limit ? SVF_ERR_ROW_TOO_LARGE : 0);
}

// One character of the row that is neither white space nor its end; `next` follows it.
int SVFRowScanner::Step(unsigned char c, const unsigned char* next, UtByteBuffer* row, SVFRowRecord* record,
                        SVFRowState& state)
{
    const unsigned char* at = next - 1;
    switch (state)
    {
    case SVFRowState::Start:
        if (c == '0' || c == '(')
        {
            record->start = at;
            state = c == '0' ? SVFRowState::AfterZero : SVFRowState::InExpression;
        }
        else
        {
            if (record->stray == nullptr)
                record->stray = at;
            if (record->strayCount < SVFRowRecord::kStrayKept)
                record->strayText[record->strayCount++] = c;
        }
        return 0;
    case SVFRowState::AfterZero:
        if (c != 'x')
            return Break(row, record, at, state);
        state = SVFRowState::HighDigit;
        return OpenLiteral(row, next);
    // Where the run of whole pairs stopped: a digit whose pair white space splits, or no digit.
    case SVFRowState::HighDigit:
        if (!util_IsHexDigit((char)c))
            return Break(row, record, at, state);
        m_accumulator = (unsigned char)(util_HexValue((char)c) << 4);
        record->digit = at;
        state = SVFRowState::LowDigit;
        return 0;
    case SVFRowState::LowDigit:
        if (!util_IsHexDigit((char)c))
            return Break(row, record, at, state);
        if (m_out == m_outEnd)
            return FinishLiteral(row, SVF_ERR_ROW_TOO_LARGE);
        *m_out++ = (unsigned char)(m_accumulator | util_HexValue((char)c));
        state = SVFRowState::HighDigit;
        return 0;
    case SVFRowState::InExpression:
        return 0;
    }
    return 0;
}

// The room a literal whose "0x" ends before `literal` may fill: two digits per byte up
// to `stop` (the row's ',' or the text's end), and a byte past the limit, which is refused.
size_t SVFRowScanner::LiteralRoom(const unsigned char* literal, const unsigned char* stop) const
{
    size_t most = (size_t)(stop - literal) / 2;
    return most > m_limit ? (size_t)m_limit + 1 : most;
}

// Room for the literal whose "0x" ends before `next`. Rows of a text are mostly as long as
// the one before, so the room is first a byte more than that row held; only a row that
// fills it looks for its ',' (GrowLiteral). The first row looks for it at once.
int SVFRowScanner::OpenLiteral(UtByteBuffer* row, const unsigned char* next)
{
    m_literal = next;
    size_t most = LiteralRoom(next, m_end);
    m_bBounded = m_nGuess == 0 || m_nGuess >= most;
    if (m_nGuess == 0)
    {
        const unsigned char* comma = (const unsigned char*)memchr(next, ',', (size_t)(m_end - next));
        most = LiteralRoom(next, comma != nullptr ? comma : m_end);
    }
    else if (!m_bBounded)
    {
        most = m_nGuess;
    }
    m_outBegin = m_out = most > 0 ? row->Extend((unsigned int)most) : nullptr;
    if (most > 0 && m_out == nullptr)
        return SVF_ERR_NO_MEMORY;
    m_outEnd = m_out + most;
    return 0;
}

// The literal's room is full at `p`, and the row may hold more: the room grows to what the
// digits up to the row's ',' may fill (no ',' lies between the literal's start and `p`:
// only digits and white space were read), as OpenLiteral gives the first row at once.
int SVFRowScanner::GrowLiteral(UtByteBuffer* row, const unsigned char* p)
{
    m_bBounded = true;
    const unsigned char* comma = (const unsigned char*)memchr(p, ',', (size_t)(m_end - p));
    size_t most = LiteralRoom(m_literal, comma != nullptr ? comma : m_end);
    size_t room = (size_t)(m_outEnd - m_outBegin);
    if (most <= room)
        return 0;
    unsigned char* more = row->Extend((unsigned int)(most - room));
    if (more == nullptr)
        return SVF_ERR_NO_MEMORY;
    // The row's bytes may have moved: the room is at its end.
    m_outBegin = more - room;
    m_out = more;
    m_outEnd = more + (most - room);
    return 0;
}

// The character at `at` breaks the syntax of the row; a literal keeps what it decoded.
int SVFRowScanner::Break(UtByteBuffer* row, SVFRowRecord* record, const unsigned char* at, SVFRowState state)
{
    record->broken = at;
    return state == SVFRowState::AfterZero ? SVF_ERR_MODEL : FinishLiteral(row, SVF_ERR_MODEL);
}

// Ends the literal decoded into [m_outBegin, m_out): keeps its bytes, up to the limit,
// gives the unused room back, and passes `result` on.
int SVFRowScanner::FinishLiteral(UtByteBuffer* row, int result)
{
    size_t kept = (size_t)(m_out - m_outBegin);
    row->Shrink((unsigned int)(kept < m_limit ? kept : m_limit));
    return result;
}
