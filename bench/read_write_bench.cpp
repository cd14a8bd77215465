// Reading and writing speed and memory for one RIZ Eroz data file.
//
//   rizeroz-bench FILE [--repeat N] [--no-peers] [--out-dir DIR]
//                 [--table | --read-only [--warnings] [--memory] | --write-only]
//
// Measures, each in a child process of its own so that memory figures do not mix:
//   read     our InitSvfPlusDataFile + Read
//   read-warnings  the same with the reader's warnings enabled
//   read-memory    InitSvfPlusDataSource on the file's bytes, loaded before the clock
//                  starts, + Read: the bytes read where they lie
//   read-stream    InitSvfPlusDataSource on a function that read()s the file in pieces of
//                  64 KiB + Read
//   read-memory-L  read-memory at the vector level L (plain, sse2, ssse3, avx2: RIZEROZ_SIMD)
//   memchr         one memchr over the loaded bytes, for a byte that is not there
//   read-file      read(2) of the file a window (256 KiB) at a time into one buffer: the
//                  system's copy that a read by name adds to a read from memory
//   write    our Write of the model just read (expression writing off)
//   pugixml, expat, libxml2: loading the file and decoding every row into bytes
//   pugixml-save: pugixml building a document of the same data and saving it
// and prints throughput in MB/s of document text, the time as a ratio to the fastest
// peer reader (writes: to pugixml's save), and the peak memory each one added.
// --table prints one line for scaling tables instead: size in MB, rows, seconds of read,
// of write to a file and of write to /dev/null, then the three in MB/s.
// --read-only reads the file once in this process and nothing else, for profilers
// (perf stat, perf record, valgrind --tool=callgrind); with --warnings, with the reader's
// warnings enabled; with --memory, from its bytes loaded into memory first (read-memory).
// --write-only reads it, then times only the Write into /dev/null.
#include <errno.h>
#include <fcntl.h>
#include <malloc.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "BenchProcess.h"
#include "PeerReaders.h"
#include "RODAzivUzirAdovIzozari.h"

namespace
{
using bench::LoadFile;
using bench::Now;

struct Measurement
{
    int ok;
    double seconds;         // the timed work
    double extraSeconds;    // pugixml-save: the save alone
    long long peakBytes;    // peak resident memory the work added
    long long modelBytes;   // heap the resulting model takes
    long long rows;
    long long rowBytes;
    int identical;   // write: the output equals the input file byte for byte
    char error[200];
};

struct Options
{
    const char* pszFile = nullptr;
    int nRepeat = 3;
    bool bPeers = true;
    bool bTable = false;
    bool bReadOnly = false;
    bool bWriteOnly = false;
    bool bWarnings = false;
    bool bMemory = false;   // --read-only --memory: from the file's bytes loaded first
    std::string sOutDir;
};

long long StatusField(const char* name)
{
    FILE* status = fopen("/proc/self/status", "r");
    if (status == nullptr)
        return 0;
    char line[256];
    long long value = 0;
    size_t length = strlen(name);
    while (fgets(line, sizeof(line), status) != nullptr)
    {
        if (strncmp(line, name, length) == 0)
        {
            value = atoll(line + length) * 1024;
            break;
        }
    }
    fclose(status);
    return value;
}

// Resets the peak resident size to the current one and returns that.
long long StartMemoryWatch()
{
    int fd = open("/proc/self/clear_refs", O_WRONLY);
    if (fd >= 0)
    {
        if (write(fd, "5", 1) != 1)
        {
        }
        close(fd);
    }
    return StatusField("VmRSS:");
}

long long PeakSince(long long baseline)
{
    return StatusField("VmHWM:") - baseline;
}

long long HeapInUse()
{
    struct mallinfo2 info = mallinfo2();
    return (long long)(info.uordblks + info.hblkhd);
}

void CountModel(SVFPlusData* model, Measurement& m)
{
    m.rows = m.rowBytes = 0;
    if (model == nullptr)
        return;
    for (int i = 0; i < model->GetDataFieldCount(); ++i)
    {
        SVFDataField* field = model->GetDataField(i);
        for (int j = 0; j < field->GetFieldBlockCount(); ++j)
        {
            SVFDataField::DataBlock* block = field->GetDataBlock(j);
            m.rows += block->GetNumberOfRows();
            for (int k = 1; k <= block->GetNumberOfRows(); ++k)
                m.rowBytes += block->GetRow(k)->GetTotalSize();
        }
    }
}

bool ReadOurs(const char* path, RODAzivUzirAdovIzozari& handler, Measurement& m)
{
    int result = handler.InitSvfPlusDataFile(path, "", "read");
    if (result >= 0)
        result = handler.Read();
    if (result < 0)
    {
        const ErrorReport* report = handler.GetErrorHandler()->GetLastReport();
        snprintf(m.error, sizeof(m.error), "%s", report != nullptr ? report->GetMessage() : "Read failed");
        return false;
    }
    return true;
}

// The file descriptor read in pieces of at most 64 KiB, for a pull source.
long long PullPiece(void* context, void* buffer, size_t capacity)
{
    int fd = *static_cast<int*>(context);
    ssize_t got = read(fd, buffer, capacity < 65536 ? capacity : 65536);
    return got >= 0 ? (long long)got : -(long long)errno;
}

// Reads through a source (read-memory, read-stream): what is timed, the source's making
// included, but not the loading of the file's bytes for read-memory.
bool ReadSource(const std::string& what, const char* path, RODAzivUzirAdovIzozari& handler, Measurement& m,
                const std::vector<char>& loaded)
{
    int fd = what == "read-stream" ? open(path, O_RDONLY) : -1;
    UtMemorySource memory(loaded.data(), loaded.size());
    UtCallbackSource pulled(&PullPiece, &fd);
    int result = handler.InitSvfPlusDataSource(what == "read-stream" ? (UtByteSource*)&pulled : &memory, path);
    if (result >= 0)
        result = handler.Read();
    if (fd >= 0)
        close(fd);
    if (result < 0)
    {
        const ErrorReport* report = handler.GetErrorHandler()->GetLastReport();
        snprintf(m.error, sizeof(m.error), "%s", report != nullptr ? report->GetMessage() : "Read failed");
        return false;
    }
    return true;
}

bool SameFiles(const char* a, const char* b)
{
    FILE* fa = fopen(a, "rb");
    FILE* fb = fopen(b, "rb");
    bool same = fa != nullptr && fb != nullptr;
    std::vector<char> ba(1 << 20), bb(1 << 20);
    while (same)
    {
        size_t na = fread(ba.data(), 1, ba.size(), fa);
        size_t nb = fread(bb.data(), 1, bb.size(), fb);
        same = na == nb && memcmp(ba.data(), bb.data(), na) == 0;
        if (na == 0)
            break;
    }
    if (fa != nullptr)
        fclose(fa);
    if (fb != nullptr)
        fclose(fb);
    return same;
}

std::string OutputPath(const Options& options, const char* what)
{
    std::string dir = options.sOutDir;
    if (dir.empty())
    {
        std::string file = options.pszFile;
        size_t slash = file.rfind('/');
        dir = slash == std::string::npos ? "." : file.substr(0, slash);
    }
    return dir + "/rizeroz-bench-" + what + "-" + std::to_string((long)getpid()) + ".xml";
}

// Our reads: from the file, with warnings, from the bytes in memory, pulled through a
// function. The model's size is the heap a deep copy of it takes.
void RunRead(const std::string& what, const char* path, Measurement& m)
{
    std::vector<char> loaded = what == "read-memory" ? LoadFile(path) : std::vector<char>();
    long long baseline = StartMemoryWatch();
    double start = Now();
    RODAzivUzirAdovIzozari* handler = new RODAzivUzirAdovIzozari();
    handler->EnableWarnings(what == "read-warnings");
    m.ok = what == "read" || what == "read-warnings" ? ReadOurs(path, *handler, m)
                                                     : ReadSource(what, path, *handler, m, loaded);
    m.seconds = Now() - start;
    m.peakBytes = PeakSince(baseline);
    CountModel(handler->GetSVFPlusData(), m);
    long long beforeCopy = HeapInUse();
    SVFPlusData* copy = new SVFPlusData(handler->GetSVFPlusData());
    m.modelBytes = HeapInUse() - beforeCopy;
    delete copy;
    delete handler;
}

// memchr over the file's bytes, loaded before the clock starts, for a byte that is not
// there: one pass that touches every byte, what read-memory is held to.
void RunMemchr(const char* path, Measurement& m)
{
    std::vector<char> loaded = LoadFile(path);
    double start = Now();
    const void* found = memchr(loaded.data(), 0x01, loaded.size());
    m.seconds = Now() - start;
    m.ok = !loaded.empty();
    m.rows = found != nullptr ? 1 : 0;
}

// read(2) of the file (in the page cache) a window's size at a time into one buffer, aligned
// with the file: the system's copy that a read by name cannot do without, and what it
// adds at least to a read from memory.
void RunReadFile(const char* path, Measurement& m)
{
    const size_t kPiece = 256 * 1024;
    std::vector<char> buffer(kPiece + 64);
    char* into = buffer.data() + (64 - (uintptr_t)buffer.data() % 64) % 64;
    memset(into, 0, kPiece);
    int fd = open(path, O_RDONLY);
    if (fd < 0)
        return;
    double start = Now();
    ssize_t got = 0;
    long long total = 0;
    while ((got = read(fd, into, kPiece)) > 0)
        total += got;
    m.seconds = Now() - start;
    close(fd);
    m.ok = got == 0 && total > 0;
}

// Our Write of the model read, into a file beside the input (compared with it), or
// (write-null) into /dev/null, which measures the library's work without the system's
// cost of storing the file.
void RunWrite(const std::string& what, const Options& options, Measurement& m)
{
    const char* path = options.pszFile;
    bool toNull = what == "write-null";
    RODAzivUzirAdovIzozari reader;
    if (!ReadOurs(path, reader, m))
        return;
    CountModel(reader.GetSVFPlusData(), m);
    std::string out = toNull ? std::string("/dev/null") : OutputPath(options, "write");
    RODAzivUzirAdovIzozari writer;
    if (writer.InitSvfPlusDataFile(out.c_str(), "", "write") != 0)
    {
        snprintf(m.error, sizeof(m.error), "cannot open %s", out.c_str());
        return;
    }
    writer.SetSVFPlusData(reader.GetSVFPlusData());
    long long baseline = StartMemoryWatch();
    double start = Now();
    m.ok = writer.Write() == 0;
    m.seconds = Now() - start;
    m.peakBytes = PeakSince(baseline);
    if (!toNull)
    {
        m.identical = SameFiles(path, out.c_str());
        unlink(out.c_str());
    }
}

// pugixml building a document of the data it read, and saving it.
void RunPugixmlSave(const Options& options, Measurement& m)
{
    std::string error;
    PeerModel model;
    if (!ReadWithPugixml(options.pszFile, model, error))
    {
        snprintf(m.error, sizeof(m.error), "%s", error.c_str());
        return;
    }
    m.rows = (long long)model.RowCount();
    m.rowBytes = (long long)model.ByteCount();
    std::string out = OutputPath(options, "pugixml");
    long long baseline = StartMemoryWatch();
    double start = Now();
    m.ok = SaveWithPugixml(model, out.c_str(), m.extraSeconds, error);
    m.seconds = Now() - start;
    m.peakBytes = PeakSince(baseline);
    unlink(out.c_str());
    snprintf(m.error, sizeof(m.error), "%s", error.c_str());
}

// A peer reader: pugixml, expat or libxml2, decoding every row.
void RunPeerRead(const std::string& what, const char* path, Measurement& m)
{
    std::string error;
    PeerModel* model = new PeerModel();
    long long baseline = StartMemoryWatch();
    double start = Now();
    if (what == "pugixml")
        m.ok = ReadWithPugixml(path, *model, error);
    else if (what == "expat")
        m.ok = ReadWithExpat(path, *model, error);
    else
        m.ok = ReadWithLibxml2(path, *model, error);
    m.seconds = Now() - start;
    m.peakBytes = PeakSince(baseline);
    m.rows = (long long)model->RowCount();
    m.rowBytes = (long long)model->ByteCount();
    snprintf(m.error, sizeof(m.error), "%s", error.c_str());
    delete model;
}

// One measurement, run in the current (child) process.
void Run(const std::string& what, const Options& options, Measurement& m)
{
    const std::string level = "read-memory-";
    if (what.compare(0, level.size(), level) == 0)
    {
        // The vector level is chosen at the library's first use in this process.
        setenv("RIZEROZ_SIMD", what.c_str() + level.size(), 1);
        RunRead("read-memory", options.pszFile, m);
    }
    else if (what == "memchr")
        RunMemchr(options.pszFile, m);
    else if (what == "read-file")
        RunReadFile(options.pszFile, m);
    else if (what == "read" || what == "read-warnings" || what == "read-memory" || what == "read-stream")
        RunRead(what, options.pszFile, m);
    else if (what == "write" || what == "write-null")
        RunWrite(what, options, m);
    else if (what == "pugixml-save")
        RunPugixmlSave(options, m);
    else
        RunPeerRead(what, options.pszFile, m);
}

// Runs one measurement in a fresh child process.
Measurement RunInChild(const std::string& what, const Options& options)
{
    Measurement m;
    if (!bench::RunInChild([&](Measurement& result) { Run(what, options, result); }, m))
        snprintf(m.error, sizeof(m.error), "the measuring process failed");
    return m;
}

// Best of `repeat` runs: the shortest time, the largest peak.
Measurement Best(const std::string& what, const Options& options)
{
    Measurement best;
    memset(&best, 0, sizeof(best));
    for (int i = 0; i < options.nRepeat; ++i)
    {
        Measurement m = RunInChild(what, options);
        if (!m.ok)
            return m;
        long long peak = best.ok && best.peakBytes > m.peakBytes ? best.peakBytes : m.peakBytes;
        if (!best.ok || m.seconds < best.seconds)
            best = m;
        best.peakBytes = peak;
    }
    return best;
}

// Reads the whole file once, so every measurement finds it in the page cache, and
// returns the length of its largest element text (the longest run between '>' and '<').
long long WarmAndMeasureText(const char* path, long long& fileBytes)
{
    FILE* file = fopen(path, "rb");
    fileBytes = 0;
    if (file == nullptr)
        return -1;
    std::vector<char> buffer(1 << 20);
    long long largest = 0, run = 0;
    bool inText = false;
    size_t got;
    while ((got = fread(buffer.data(), 1, buffer.size(), file)) > 0)
    {
        fileBytes += (long long)got;
        for (size_t i = 0; i < got; ++i)
        {
            char c = buffer[i];
            if (c == '<')
            {
                if (inText && run > largest)
                    largest = run;
                inText = false;
            }
            else if (c == '>')
            {
                inText = true;
                run = 0;
            }
            else if (inText)
            {
                ++run;
            }
        }
    }
    fclose(file);
    return largest;
}

double MB(long long bytes)
{
    return (double)bytes / (1024.0 * 1024.0);
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i)
    {
        std::string arg = argv[i];
        if (arg == "--repeat" && i + 1 < argc)
            options.nRepeat = atoi(argv[++i]);
        else if (arg == "--no-peers")
            options.bPeers = false;
        else if (arg == "--table")
            options.bTable = true;
        else if (arg == "--read-only")
            options.bReadOnly = true;
        else if (arg == "--write-only")
            options.bWriteOnly = true;
        else if (arg == "--warnings")
            options.bWarnings = true;
        else if (arg == "--memory")
            options.bMemory = true;
        else if (arg == "--out-dir" && i + 1 < argc)
            options.sOutDir = argv[++i];
        else if (arg[0] != '-' && options.pszFile == nullptr)
            options.pszFile = argv[i];
        else
            return false;
    }
    return options.pszFile != nullptr && options.nRepeat > 0;
}

// The file and the output folder as full paths: the library reads a name starting with
// '/' as one. False, with the reason told, when either cannot be resolved.
bool ResolvePaths(Options& options)
{
    static char absolute[4096];
    if (realpath(options.pszFile, absolute) == nullptr)
    {
        perror(options.pszFile);
        return false;
    }
    options.pszFile = absolute;
    if (!options.sOutDir.empty())
    {
        char dir[4096];
        if (realpath(options.sOutDir.c_str(), dir) == nullptr)
        {
            perror(options.sOutDir.c_str());
            return false;
        }
        options.sOutDir = dir;
    }
    return true;
}

// --write-only: reads the file, then times only the Write into /dev/null.
int WriteOnly(const Options& options)
{
    Measurement m;
    memset(&m, 0, sizeof(m));
    RODAzivUzirAdovIzozari reader, writer;
    if (!ReadOurs(options.pszFile, reader, m) || writer.InitSvfPlusDataFile("/dev/null", "", "write") != 0)
    {
        fprintf(stderr, "%s\n", m.error[0] != 0 ? m.error : "cannot open /dev/null");
        return 1;
    }
    writer.SetSVFPlusData(reader.GetSVFPlusData());
    double start = Now();
    int result = writer.Write();
    printf("wrote %s into /dev/null in %.3f s\n", options.pszFile, Now() - start);
    return result == 0 ? 0 : 1;
}

// --read-only: reads the file once in this process, for profilers.
int ReadOnly(const Options& options)
{
    Measurement m;
    memset(&m, 0, sizeof(m));
    double start = Now();
    RODAzivUzirAdovIzozari handler;
    handler.EnableWarnings(options.bWarnings);
    std::vector<char> loaded = options.bMemory ? LoadFile(options.pszFile) : std::vector<char>();
    bool ok = options.bMemory ? ReadSource("read-memory", options.pszFile, handler, m, loaded)
                              : ReadOurs(options.pszFile, handler, m);
    double seconds = Now() - start;
    CountModel(handler.GetSVFPlusData(), m);
    if (!ok)
    {
        fprintf(stderr, "%s\n", m.error);
        return 1;
    }
    printf("read %lld rows, %.1f MB of row bytes in %.3f s\n", m.rows, MB(m.rowBytes), seconds);
    return 0;
}

// --table: one line of size, rows, the seconds of read, write and write into /dev/null,
// and the three in MB/s.
int TableLine(const Options& options, long long fileBytes)
{
    Measurement read = Best("read", options);
    Measurement written = Best("write", options);
    Measurement nulled = Best("write-null", options);
    if (!read.ok || !written.ok || !nulled.ok)
    {
        fprintf(stderr, "failed: %s%s%s\n", read.error, written.error, nulled.error);
        return 1;
    }
    printf("%10.1f %10lld %10.3f %10.3f %10.3f %10.1f %10.1f %10.1f\n", MB(fileBytes), read.rows, read.seconds,
           written.seconds, nulled.seconds, MB(fileBytes) / read.seconds, MB(fileBytes) / written.seconds,
           MB(fileBytes) / nulled.seconds);
    return 0;
}

// One line of the full table: a measurement and whether it is a peer's.
struct Row
{
    std::string name;
    bool peer;
    Measurement m;
};

// Every measurement of the full table, ours and the peers' found here, in its order.
std::vector<Row> MeasureAll(const Options& options)
{
    std::vector<Row> rows;
    for (const char* name : {"read", "read-warnings", "read-memory", "read-stream", "memchr", "read-file",
                             "read-memory-plain", "read-memory-sse2", "read-memory-ssse3", "read-memory-avx2"})
        rows.push_back({name, false, Best(name, options)});
    if (options.bPeers)
    {
        if (HavePugixml())
            rows.push_back({"pugixml", true, Best("pugixml", options)});
        if (HaveExpat())
            rows.push_back({"expat", true, Best("expat", options)});
        if (HaveLibxml2())
            rows.push_back({"libxml2", true, Best("libxml2", options)});
    }
    rows.push_back({"write", false, Best("write", options)});
    rows.push_back({"write-null", false, Best("write-null", options)});
    if (options.bPeers && HavePugixml())
        rows.push_back({"pugixml-save", true, Best("pugixml-save", options)});
    return rows;
}

// Measurement `name`, when it was made and succeeded; else null.
const Measurement* Succeeded(const std::vector<Row>& rows, const std::string& name)
{
    for (const Row& row : rows)
        if (row.name == name && row.m.ok)
            return &row.m;
    return nullptr;
}

// The table: time, MB/s, the ratio to the fastest peer reader (writes: to pugixml's
// save), peak memory, rows and row bytes. Returns how many measurements failed.
int PrintTable(const std::vector<Row>& rows, long long fileBytes, double fastestPeer, double pugixmlSave)
{
    printf("%-17s %9s %9s %8s %10s %10s %10s\n", "", "time s", "MB/s", "ratio", "peak MB", "rows", "row MB");
    int failures = 0;
    for (const Row& row : rows)
    {
        const Measurement& m = row.m;
        if (!m.ok)
        {
            printf("%-17s failed: %s\n", row.name.c_str(), m.error);
            ++failures;
            continue;
        }
        bool isWrite = row.name == "write" || row.name == "write-null" || row.name == "pugixml-save";
        double base = isWrite ? pugixmlSave : fastestPeer;
        char ratio[32] = "-";
        if (base > 0)
            snprintf(ratio, sizeof(ratio), "%.2f", m.seconds / base);
        printf("%-17s %9.3f %9.1f %8s %10.1f %10lld %10.1f\n", row.name.c_str(), m.seconds, MB(fileBytes) / m.seconds,
               ratio, MB(m.peakBytes), m.rows, MB(m.rowBytes));
        if (row.name == "pugixml-save")
            printf("%-17s %9.3f   (the save alone, document already built)\n", "", m.extraSeconds);
    }
    return failures;
}

// The reads against one another, and against one pass over the bytes in memory.
void PrintReadRatios(const std::vector<Row>& rows, const Measurement& read)
{
    for (const char* name : {"read-memory", "read-stream"})
        if (const Measurement* m = Succeeded(rows, name))
            printf("%s time / read: %.2f (target %s or less)\n", name, m->seconds / read.seconds,
                   std::string(name) == "read-memory" ? "1.00" : "1.20");
    if (const Measurement* memory = Succeeded(rows, "read-memory"))
        if (const Measurement* file = Succeeded(rows, "read-file"))
            printf("read time / read-memory: %.2f (target 1.2 or less; the system's copy alone, read-file / "
                   "read-memory: %.2f)\n",
                   read.seconds / memory->seconds, file->seconds / memory->seconds);
    // A level this processor lacks is read at the best level below it.
    if (const Measurement* scan = Succeeded(rows, "memchr"))
        for (const char* name : {"read-memory", "read-memory-sse2"})
            if (const Measurement* m = Succeeded(rows, name))
                printf("%s time / memchr over the same bytes: %.2f (target %s or less)\n", name,
                       m->seconds / scan->seconds, std::string(name) == "read-memory" ? "3.5" : "5.0");
}

// Below the table: the read's memory against its allowance, whether the write gave the
// input back, the model's overhead per row, and the targets.
void PrintTargets(const std::vector<Row>& rows, long long largestText, double fastestPeer, double pugixmlSave)
{
    const Measurement& read = rows[0].m;
    if (read.ok)
    {
        long long allowance = read.modelBytes + largestText + 16LL * 1024 * 1024;
        printf("\nread memory: peak %.1f MB; model %.1f MB + largest text %.2f MB + 16 MB = %.1f MB: %s\n",
               MB(read.peakBytes), MB(read.modelBytes), MB(largestText), MB(allowance),
               read.peakBytes <= allowance ? "within" : "OVER");
    }
    for (const Row& row : rows)
        if (row.name == "write" && row.m.ok)
            printf("write output identical to the input file: %s\n", row.m.identical ? "yes" : "no");
    if (read.ok && read.rows > 0)
        printf("model overhead per row: %.1f bytes beyond the row bytes (target 48 or less)\n",
               (double)(read.modelBytes - read.rowBytes) / (double)read.rows);
    if (fastestPeer > 0 && read.ok)
        printf("read time / fastest peer reader: %.2f (target 0.60 or less)\n", read.seconds / fastestPeer);
    if (read.ok)
        PrintReadRatios(rows, read);
    if (const Measurement* pugixml = Succeeded(rows, "pugixml"))
        if (read.ok)
            printf("read time / pugixml: %.2f (target 0.30 or less)\n", read.seconds / pugixml->seconds);
    if (const Measurement* write = Succeeded(rows, "write"))
        if (pugixmlSave > 0)
            printf("write time / pugixml build and save: %.2f (target 0.60 or less)\n", write->seconds / pugixmlSave);
}
}

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options))
    {
        fprintf(stderr, "usage: rizeroz-bench FILE [--repeat N] [--no-peers] [--out-dir DIR] [--table | --read-only "
                        "[--warnings] | --write-only]\n");
        return 2;
    }
    if (!ResolvePaths(options))
        return 1;
    if (options.bWriteOnly)
        return WriteOnly(options);
    if (options.bReadOnly)
        return ReadOnly(options);

    long long fileBytes = 0;
    long long largestText = WarmAndMeasureText(options.pszFile, fileBytes);
    if (largestText < 0)
    {
        perror(options.pszFile);
        return 1;
    }
    if (options.bTable)
        return TableLine(options, fileBytes);

    printf("file %s: %.1f MB, largest element text %.2f MB, best of %d runs\n", options.pszFile, MB(fileBytes),
           MB(largestText), options.nRepeat);
    std::vector<Row> rows = MeasureAll(options);
    double fastestPeer = 0;
    for (const Row& row : rows)
        if (row.peer && row.name != "pugixml-save" && row.m.ok && (fastestPeer == 0 || row.m.seconds < fastestPeer))
            fastestPeer = row.m.seconds;
    const Measurement* save = Succeeded(rows, "pugixml-save");
    double pugixmlSave = save != nullptr ? save->seconds : 0;
    int failures = PrintTable(rows, fileBytes, fastestPeer, pugixmlSave);
    PrintTargets(rows, largestText, fastestPeer, pugixmlSave);
    return failures == 0 ? 0 : 1;
}
