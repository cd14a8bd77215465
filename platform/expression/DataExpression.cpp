// fnGetDataExpression: the shortest expression we can find for a row, written only when
// it is strictly shorter than the row's hexadecimal form.
//
// Two candidates are weighed:
// - a flat sum of terms, each a literal byte string or a pattern of 1 to kMaxPeriod
//   bytes repeated, chosen by a shortest-path plan over the row's byte positions
//   (O(n * kMaxPeriod) time, 8 or 9 bytes of memory per byte);
// - when the whole row repeats a block (its smallest period found with a prefix
//   function), that block planned on its own and repeated as a group, plus the partial
//   block that ends the row.
#include "SVPExpression.h"

#include <limits.h>
#include <memory>
#include <new>

#include "ExpressionText.h"

namespace
{
using expression_text::PutHexByte;

// Longest pattern that a flat term repeats.
const int kMaxPeriod = 32;
// How many bytes a repeat may give up to the term after it, in whole patterns.
const int kCutBack = 8;
// Rows up to this many bytes are planned in memory on the stack.
const int kInlineRow = 256;
// Longer rows are left in hexadecimal: a plan step holds counts of 25 bits.
const unsigned int kMaxRowBytes = 1u << 24;
// Cost of a choice that is not available.
const int kNoCost = INT_MAX / 4;

// The plan at one byte position i of the range being planned: 8 bytes, so that the
// plan of a long row stays small.
struct PlanStep
{
    int cost;              // shortest text for bytes [i, end) when a term begins at i
    unsigned int choice;   // count << 7 | literal goes on << 6 | period

    // Pattern length of the repeat term chosen at i; 0: i begins a literal term.
    int Period() const { return (int)(choice & 63); }
    // Repeat count of that term.
    int Count() const { return (int)(choice >> 7); }
    // The literal holding byte i goes on with byte i + 1.
    bool LiteralGoesOn() const { return (choice & 64) != 0; }
};

int DecimalDigits(int value)
{
    int digits = 1;
    for (; value >= 10; value /= 10)
        ++digits;
    return digits;
}

int PowerOfTen(int exponent)
{
    int power = 1;
    while (exponent-- > 0)
        power *= 10;
    return power;
}

// Index of the lowest set bit of a non-zero mask.
inline int LowestBit(unsigned long long mask)
{
#if defined(__GNUC__)
    return __builtin_ctzll(mask);
#else
    int bit = 0;
    for (; (mask & 1u) == 0; mask >>= 1)
        ++bit;
    return bit;
#endif
}

char* PutDecimal(char* out, int value)
{
    char reversed[12];
    int length = 0;
    do
    {
        reversed[length++] = (char)('0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (length > 0)
        *out++ = reversed[--length];
    return out;
}

// Smallest p such that bytes[i] == bytes[i + p] wherever both exist; n when none is
// smaller. The prefix function is kept in the cost fields of `scratch`.
int SmallestPeriod(const unsigned char* bytes, int n, PlanStep* scratch)
{
    scratch[0].cost = 0;
    for (int i = 1; i < n; ++i)
    {
        int k = scratch[i - 1].cost;
        while (k > 0 && bytes[i] != bytes[k])
            k = scratch[k - 1].cost;
        if (bytes[i] == bytes[k])
            ++k;
        scratch[i].cost = k;
    }
    return n - scratch[n - 1].cost;
}

// Bit d set for each d < p that divides p, for p up to kMaxPeriod (below 64).
struct DivisorTable
{
    unsigned long long masks[kMaxPeriod + 1];
};

constexpr DivisorTable MakeDivisorTable()
{
    DivisorTable table{};
    for (int p = 1; p <= kMaxPeriod; ++p)
    {
        table.masks[p] = 0;
        for (int d = 1; d < p; ++d)
            if (p % d == 0)
                table.masks[p] |= 1ULL << d;
    }
    return table;
}

constexpr DivisorTable kDivisors = MakeDivisorTable();

// True when the pattern of `period` bytes at the current position is itself a
// repetition of a shorter pattern: a repeat of that one covers the same bytes for less.
// Such a shorter pattern is repeated too, so only periods in `repeating` are tried.
bool HasShorterPeriod(const int* matches, unsigned long long repeating, int period)
{
    for (unsigned long long ds = kDivisors.masks[period] & repeating; ds != 0; ds &= ds - 1)
    {
        int d = LowestBit(ds);
        if (matches[d] >= period - d)
            return true;
    }
    return false;
}

class ExpressionPlanner
{
public:
    ExpressionPlanner(const unsigned char* bytes, PlanStep* steps) : m_pBytes(bytes), m_pSteps(steps) {}

    // Plans bytes [begin, end) as a sum of terms and returns the length of its text.
    // Uses the steps from begin to end inclusive.
    int Plan(int begin, int end);
    // Number of terms in the plan of [begin, end).
    int CountTerms(int begin, int end) const;
    // Writes the planned sum of [begin, end) at `out`; returns the end of the text.
    char* Write(int begin, int end, char* out) const;

private:
    int NextTermCost(int position, int end) const
    {
        return position == end ? 0 : 1 + m_pSteps[position].cost;   // "+" and the rest
    }
    // Moves `matches` from position i + 1 to position i; true when a pattern at i is
    // followed by a copy of itself.
    bool UpdateMatches(int i, int end, int* matches) const;
    // The best repeat term at i, when cheaper than `step` (which holds the literal's).
    void ChooseRepeat(int i, int end, const int* matches, PlanStep* step) const;
    // The repeats of the pattern of `period` bytes at i, down to a few fewer than the most.
    void ChooseRepeatCount(int i, int end, int period, int most, PlanStep* step) const;

    const unsigned char* m_pBytes;
    PlanStep* m_pSteps;
};

int ExpressionPlanner::Plan(int begin, int end)
{
    // matches[p]: how many positions from i on have b[j] == b[j + p], j + p < end.
    int matches[kMaxPeriod + 1] = {};

    m_pSteps[end].cost = 0;
    m_pSteps[end].choice = 0;
    int nextLiteralCost = kNoCost;   // the text for [i + 1, end) when byte i + 1 is in a literal
    for (int i = end - 1; i >= begin; --i)
    {
        bool repeats = UpdateMatches(i, end, matches);

        // A literal term holding byte i ends here or goes on with byte i + 1.
        int endHere = NextTermCost(i + 1, end);
        bool goesOn = nextLiteralCost < endHere;
        int literalCost = 2 + (goesOn ? nextLiteralCost : endHere);
        nextLiteralCost = literalCost;
        PlanStep step = {literalCost, goesOn ? 64u : 0u};
        if (repeats)
            ChooseRepeat(i, end, matches, &step);
        m_pSteps[i] = step;
    }
    return m_pSteps[begin].cost;
}

inline bool ExpressionPlanner::UpdateMatches(int i, int end, int* matches) const
{
    // One pass over the next kMaxPeriod bytes, which the compiler can vectorise.
    const unsigned char* b = m_pBytes;
    int repeats = 0;
    const unsigned char first = b[i];
    if (i + kMaxPeriod < end)
    {
        for (int p = 1; p <= kMaxPeriod; ++p)
        {
            int m = b[i + p] == first ? matches[p] + 1 : 0;
            matches[p] = m;
            repeats |= m >= p;
        }
    }
    else
    {
        for (int p = 1; p <= kMaxPeriod; ++p)
        {
            int m = (i + p < end && b[i + p] == first) ? matches[p] + 1 : 0;
            matches[p] = m;
            repeats |= m >= p;
        }
    }
    return repeats != 0;
}

inline void ExpressionPlanner::ChooseRepeat(int i, int end, const int* matches, PlanStep* step) const
{
    // Periods whose pattern at i is followed by at least one copy. Inside a run of one
    // byte, each pattern no longer than the run is that byte repeated, so the search for
    // longer patterns starts after the run.
    int widest = (end - i) / 2;
    if (widest > kMaxPeriod)
        widest = kMaxPeriod;
    unsigned long long repeating = 0;
    int run = matches[1] + 1;
    if (run >= 2)
        repeating = 2;
    for (int p = run >= 2 ? run + 1 : 1; p <= widest; ++p)
        if (matches[p] >= p)
            repeating |= 1ULL << p;
    for (unsigned long long ps = repeating; ps != 0; ps &= ps - 1)
    {
        int p = LowestBit(ps);
        if (!HasShorterPeriod(matches, repeating, p))
            ChooseRepeatCount(i, end, p, (p + matches[p]) / p, step);
    }
}

inline void ExpressionPlanner::ChooseRepeatCount(int i, int end, int period, int most, PlanStep* step) const
{
    // The longest run, and runs a few bytes shorter, which leave the bytes they give up
    // to a term that begins with them.
    int fewest = most - (kCutBack / period > 1 ? kCutBack / period : 1);
    if (fewest < 2)
        fewest = 2;
    int digits = DecimalDigits(most);
    int fewerDigits = PowerOfTen(digits - 1);   // first count with one digit less
    for (int count = most; count >= fewest; --count)
    {
        if (count < fewerDigits)
        {
            --digits;
            fewerDigits /= 10;
        }
        int repeatCost = 2 * period + 1 + digits + NextTermCost(i + period * count, end);
        if (repeatCost < step->cost)
        {
            step->cost = repeatCost;
            step->choice = ((unsigned int)count << 7) | (step->choice & 64u) | (unsigned int)period;
        }
    }
}

int ExpressionPlanner::CountTerms(int begin, int end) const
{
    int terms = 0;
    for (int i = begin; i < end; ++terms)
    {
        const PlanStep& step = m_pSteps[i];
        if (step.Period() > 0)
        {
            i += step.Period() * step.Count();
            continue;
        }
        while (m_pSteps[i++].LiteralGoesOn())
        {
        }
    }
    return terms;
}

char* ExpressionPlanner::Write(int begin, int end, char* out) const
{
    for (int i = begin; i < end;)
    {
        if (i > begin)
            *out++ = '+';
        const PlanStep& step = m_pSteps[i];
        int period = step.Period();
        if (period > 0)
        {
            for (int k = 0; k < period; ++k, out += 2)
                PutHexByte(out, m_pBytes[i + k]);
            *out++ = '*';
            out = PutDecimal(out, step.Count());
            i += period * step.Count();
            continue;
        }
        bool goesOn = true;
        while (goesOn)
        {
            PutHexByte(out, m_pBytes[i]);
            out += 2;
            goesOn = m_pSteps[i++].LiteralGoesOn();
        }
    }
    return out;
}

// The plan's steps and, behind them, the row's bytes unless the buffer lends them: on the
// stack for a short row, else on the heap.
class PlanSpace
{
public:
    // False when memory for a long row's plan runs out.
    bool Take(UtByteBuffer* row, int n)
    {
        size_t stepCount = (size_t)n + 1 + ((size_t)n + sizeof(PlanStep) - 1) / sizeof(PlanStep);
        m_pSteps = m_inlineSteps;
        if (n > kInlineRow)
        {
            m_heapSteps.reset(new (std::nothrow) PlanStep[stepCount]);
            if (m_heapSteps == nullptr)
                return false;
            m_pSteps = m_heapSteps.get();
        }
        m_pBytes = row->GetData();
        if (m_pBytes == nullptr)
        {
            unsigned char* copy = reinterpret_cast<unsigned char*>(m_pSteps + n + 1);
            for (int i = 0; i < n; ++i)
                copy[i] = row->ReadData(i);
            m_pBytes = copy;
        }
        return true;
    }
    PlanStep* Steps() const { return m_pSteps; }
    const unsigned char* Bytes() const { return m_pBytes; }

private:
    PlanStep m_inlineSteps[kInlineRow + 1 + kInlineRow / sizeof(PlanStep)];
    std::unique_ptr<PlanStep[]> m_heapSteps;
    PlanStep* m_pSteps = nullptr;
    const unsigned char* m_pBytes = nullptr;
};

// The row as a repeated block: "(" block ")*" count, "+" the partial block after it. The
// block's own parentheses are left out when its plan is a single term.
class GroupedPlan
{
public:
    GroupedPlan(const unsigned char* bytes, int n, PlanStep* scratch)
        : m_nBytes(n), m_nPeriod(SmallestPeriod(bytes, n, scratch)), m_nBlocks(n / m_nPeriod),
          m_nTail(m_nBlocks * m_nPeriod)
    {
    }
    // The length of the grouped text; kNoCost when the row repeats no block of 3 bytes or
    // more.
    int Plan(ExpressionPlanner& planner)
    {
        if (m_nBlocks < 2 || m_nPeriod < 3)
            return kNoCost;
        int blockCost = planner.Plan(0, m_nPeriod);
        m_bGroup = planner.CountTerms(0, m_nPeriod) > 1;
        int tailCost = m_nTail < m_nBytes ? 1 + planner.Plan(m_nTail, m_nBytes) : 0;
        return 2 + blockCost + (m_bGroup ? 2 : 0) + 1 + DecimalDigits(m_nBlocks) + tailCost;
    }
    // Writes the grouped text at `out` (Plan gave a cost); returns the end of the text.
    char* Write(ExpressionPlanner& planner, char* out) const
    {
        // A later plan may have overwritten the block's: plan the pieces again (at most n
        // bytes).
        planner.Plan(0, m_nPeriod);
        if (m_nTail < m_nBytes)
            planner.Plan(m_nTail, m_nBytes);
        if (m_bGroup)
            *out++ = '(';
        out = planner.Write(0, m_nPeriod, out);
        if (m_bGroup)
            *out++ = ')';
        *out++ = '*';
        out = PutDecimal(out, m_nBlocks);
        if (m_nTail < m_nBytes)
        {
            *out++ = '+';
            out = planner.Write(m_nTail, m_nBytes, out);
        }
        return out;
    }

private:
    int m_nBytes;
    int m_nPeriod;   // the row's smallest period
    int m_nBlocks;   // whole blocks
    int m_nTail;     // where the partial block begins
    bool m_bGroup = false;
};
}

void fnGetDataExpression(UtByteBuffer* row, char* text)
{
    if (row != nullptr)
        fnGetDataExpression(row, text, 2 * (size_t)row->GetTotalSize() + 5);
}

void fnGetDataExpression(UtByteBuffer* row, char* text, size_t room)
{
    if (row == nullptr || text == nullptr)
        return;
    unsigned int size = row->GetTotalSize();
    // Nothing starting with '(' is shorter than the "0x" of an empty row.
    if (size == 0 || size > kMaxRowBytes)
        return;
    int n = (int)size;

    PlanSpace space;
    // Without memory for the plan the row stays in hexadecimal, which loses nothing.
    if (!space.Take(row, n))
        return;
    const unsigned char* bytes = space.Bytes();
    ExpressionPlanner planner(bytes, space.Steps());
    GroupedPlan grouped(bytes, n, space.Steps());
    int groupedCost = grouped.Plan(planner);
    int flatCost = 2 + planner.Plan(0, n);

    // The costs are the texts' exact lengths: written only when shorter than the
    // hexadecimal form and, with its terminator, within the room.
    int best = groupedCost < flatCost ? groupedCost : flatCost;
    if (best >= 2 + 2 * n || (size_t)best >= room)
        return;

    char* out = text;
    *out++ = '(';
    if (groupedCost < flatCost)
        out = grouped.Write(planner, out);
    else
        out = planner.Write(0, n, out);
    *out++ = ')';
    *out = '\0';
}
