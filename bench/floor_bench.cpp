// What reading a data file costs at least, whatever reads its markup: its rows' digits
// decoded into new memory for the rows, and nothing else.
//
//   rizeroz-bench-floor FILE [--repeat N]
//
// Measures, each in a child process of its own (as rizeroz-bench does, so that every run
// takes its memory new from the system), the file loaded before the clock starts, best of
// N runs (7 unless told):
//   memchr        one memchr over the bytes, for a byte that is not there
//   rows-new      new memory for every row, taken from the library's arena as its reader
//                 takes it (each block's rows reserved in one run, each row sized to its
//                 digits and given back what it does not use), each row's bytes written
//                 once: the model's rows with nothing read
//   decode-LEVEL  the same, each row's digits decoded by LEVEL's kernel from the loaded
//                 bytes where the row is written: a read's row work with no markup read
//                 at all, the rows found before the clock
// and prints each time over memchr's. rizeroz-bench's read-memory-LEVEL does all of
// decode-LEVEL's work and reads the markup as well, so its ratio to memchr cannot fall
// below decode-LEVEL's. Rows are the texts between a field block's tags, split at ','
// after their "0x"; a row written as an expression decodes only up to its first operator.
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <string_view>
#include <vector>

#include "BenchProcess.h"
#include "UtByteArena.h"
#include "UtFastText.h"
#include "UtSimd.h"

namespace
{
struct Result
{
    double seconds;
    long long rows;
    long long bytes;
};

// A row's digits (from just past its "0x" to its ',' or its block's end), and whether it
// opens a block.
struct RowText
{
    size_t start;
    size_t length;
    size_t bytes;       // the bytes its digits make
    size_t blockText;   // the length of the block's text, on its first row; else 0
};

size_t DigitPairs(std::string_view digits)
{
    size_t count = 0;
    for (char c : digits)
        count += isxdigit((unsigned char)c) ? 1 : 0;
    return count / 2;
}

// The rows of the blocks of `text`: each block's text is what lies between
// "<FieldBlock ...>" and the next '<'.
std::vector<RowText> FindRows(std::string_view text)
{
    std::vector<RowText> rows;
    for (size_t tag = text.find("<FieldBlock"); tag != std::string_view::npos; tag = text.find("<FieldBlock", tag + 1))
    {
        size_t begin = text.find('>', tag);
        size_t end = begin == std::string_view::npos ? begin : text.find('<', begin);
        if (end == std::string_view::npos)
            break;
        size_t blockText = end - begin - 1;
        for (size_t at = text.find("0x", begin); at < end; at = text.find("0x", at))
        {
            size_t comma = text.find(',', at);
            size_t stop = comma < end ? comma : end;
            rows.push_back({at + 2, stop - at - 2, DigitPairs(text.substr(at + 2, stop - at - 2)), blockText});
            blockText = 0;
            at = stop;
        }
    }
    return rows;
}

// Makes every row's buffer in a new arena as the reader does, filled by `fill(out, room,
// row, digits)`, which returns the bytes it kept; the time of it all, the arena freed after.
template <class Fill>
void MakeRows(std::string_view text, const std::vector<RowText>& rows, Fill fill, Result& result)
{
    std::vector<UtByteBuffer*> made(rows.size(), nullptr);
    double start = bench::Now();
    UtByteArena* arena = UtByteArena::Create();
    for (size_t i = 0; i < rows.size(); ++i)
    {
        const RowText& row = rows[i];
        if (row.blockText > 0)
            arena->Expect(0, util_RowRoomOfText(row.blockText));
        UtByteBuffer* buffer = made[i] = arena->NewBuffer();
        size_t room = row.length / 2;
        unsigned char* out = room > 0 ? buffer->Extend((unsigned int)room) : nullptr;
        size_t kept = out != nullptr ? fill(out, room, row, (const unsigned char*)text.data() + row.start) : 0;
        buffer->Shrink((unsigned int)kept);
        result.bytes += (long long)kept;
    }
    result.seconds = bench::Now() - start;
    result.rows = (long long)rows.size();
    for (UtByteBuffer* buffer : made)
        UtByteArena::DeleteBuffer(buffer);
    UtByteArena::Release(arena);
}

// A measurement: its name, and for decode-LEVEL the level's kernels (else null).
struct Kind
{
    std::string name;
    const UtTextKernels* kernels;
};

// The measurements, in the order printed: memchr, rows-new, then decode at each level this
// build and processor have.
std::vector<Kind> Kinds()
{
    std::vector<Kind> kinds = {{"memchr", nullptr}, {"rows-new", nullptr}};
    UtSimdLevel levels[8];
    for (size_t i = 0, count = util_SimdLevels(levels, 8); i < count; ++i)
        kinds.push_back({std::string("decode-") + util_SimdLevelName(levels[i]), util_TextKernelsAt(levels[i])});
    return kinds;
}

// One measurement, in the current (child) process.
void Measure(const char* path, const Kind& kind, Result& result)
{
    const std::string& what = kind.name;
    std::vector<char> loaded = bench::LoadFile(path);
    std::string_view text(loaded.data(), loaded.size());
    if (what == "memchr")
    {
        double start = bench::Now();
        result.rows = memchr(text.data(), 0x01, text.size()) != nullptr ? 1 : 0;
        result.seconds = bench::Now() - start;
        return;
    }
    std::vector<RowText> rows = FindRows(text);
    if (what == "rows-new")
    {
        MakeRows(
            text, rows,
            [](unsigned char* out, size_t, const RowText& row, const unsigned char*) {
                memset(out, 0x5A, row.bytes);
                return row.bytes;
            },
            result);
        return;
    }
    const UtTextKernels* kernels = kind.kernels;
    if (kernels == nullptr)
        return;
    MakeRows(
        text, rows,
        [kernels](unsigned char* out, size_t room, const RowText& row, const unsigned char* digits) {
            size_t used = 0;
            return kernels->decodeHexRun(digits, row.length, out, room, &used);
        },
        result);
}

// The best of `repeat` runs, each in a child process; false when any failed.
bool Best(const char* path, const Kind& kind, int repeat, Result& best)
{
    for (int i = 0; i < repeat; ++i)
    {
        Result result;
        if (!bench::RunInChild([&](Result& r) { Measure(path, kind, r); }, result) || result.seconds <= 0)
            return false;
        if (i == 0 || result.seconds < best.seconds)
            best = result;
    }
    return true;
}
}

int main(int argc, char** argv)
{
    const char* path = argc >= 2 ? argv[1] : nullptr;
    int repeat = argc == 4 && strcmp(argv[2], "--repeat") == 0 ? atoi(argv[3]) : 7;
    if (path == nullptr || (argc != 2 && argc != 4) || repeat <= 0)
    {
        fprintf(stderr, "usage: rizeroz-bench-floor FILE [--repeat N]\n");
        return 2;
    }
    printf("file %s, best of %d runs\n%-14s %9s %9s %10s %8s\n", path, repeat, "", "time s", "x memchr", "rows",
           "row MB");
    double scan = 0;
    for (const Kind& kind : Kinds())
    {
        const std::string& name = kind.name;
        Result best = {};
        if (!Best(path, kind, repeat, best))
        {
            printf("%-14s failed\n", name.c_str());
            return 1;
        }
        scan = name == "memchr" ? best.seconds : scan;
        printf("%-14s %9.4f %9.2f %10lld %8.1f\n", name.c_str(), best.seconds, best.seconds / scan, best.rows,
               (double)best.bytes / (1024.0 * 1024.0));
    }
    return 0;
}
