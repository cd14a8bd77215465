// Writes a large RIZ Eroz data file in exactly the layout the library's writer gives,
// straight to disk and without building a model, so files up to gigabytes are made in
// seconds with constant memory.
//
//   rizeroz-generate OUT --size MB [--row-bytes N] [--rows-per-block N]
//                    [--blocks-per-field N] [--kind random|patterned|mixed]
//                    [--expressions] [--seed N]
//
// random     every byte drawn at random (rows written in hexadecimal)
// patterned  runs of one byte and short repeated patterns, as masks are made of
// mixed      one random row, then one patterned row, and so on
// With --expressions, patterned rows are written as expressions, as the writer does
// with expression writing on; otherwise every row is written in hexadecimal.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace
{
struct Options
{
    const char* pszOutput = nullptr;
    double dSizeMB = 64;
    int nRowBytes = 512;
    int nRowsPerBlock = 1000;
    int nBlocksPerField = 16;
    std::string sKind = "random";
    bool bExpressions = false;
    unsigned long long nSeed = 1;
};

// splitmix64: fast, good enough for test data, and the same on every machine.
struct Random
{
    unsigned long long state;
    unsigned long long Next()
    {
        unsigned long long z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    unsigned Below(unsigned n) { return (unsigned)(Next() % n); }
};

const char kDigits[] = "0123456789ABCDEF";

void FillRandom(Random& random, std::vector<unsigned char>& row)
{
    size_t i = 0;
    for (; i + 8 <= row.size(); i += 8)
    {
        unsigned long long v = random.Next();
        memcpy(&row[i], &v, 8);
    }
    for (; i < row.size(); ++i)
        row[i] = (unsigned char)random.Next();
}

// A row of runs: a few segments, each one byte repeated or a short pattern repeated.
// Also returns the expression that stands for it, "(AB*n+CDEF*m...)".
void FillPatterned(Random& random, std::vector<unsigned char>& row, std::string& expression)
{
    expression = "(";
    size_t at = 0;
    static const unsigned char kCommon[] = {0x00, 0xFF, 0x55, 0xAA, 0x0F, 0xF0};
    while (at < row.size())
    {
        size_t left = row.size() - at;
        size_t unit = 1 + random.Below(4);
        if (unit > left)
            unit = left;
        unsigned char pattern[4];
        for (size_t k = 0; k < unit; ++k)
            pattern[k] = random.Below(3) == 0 ? (unsigned char)random.Next() : kCommon[random.Below(6)];
        size_t maxRepeats = left / unit;
        size_t repeats = maxRepeats <= 4 ? maxRepeats : 4 + random.Below((unsigned)(maxRepeats - 3));
        if (random.Below(4) == 0)
            repeats = maxRepeats;   // runs to the end of the row are common in masks
        if (expression.size() > 1)
            expression += '+';
        for (size_t k = 0; k < unit; ++k)
        {
            expression += kDigits[pattern[k] >> 4];
            expression += kDigits[pattern[k] & 15];
        }
        if (repeats > 1)
            expression += "*" + std::to_string(repeats);
        for (size_t r = 0; r < repeats; ++r)
            for (size_t k = 0; k < unit; ++k)
                row[at++] = pattern[k];
    }
    expression += ')';
}

// The writer's hexadecimal row: "\t\t\t0x", digits, a break after every 30th byte.
void PutHexRow(std::string& out, const std::vector<unsigned char>& row)
{
    out += "\t\t\t0x";
    for (size_t i = 0; i < row.size(); ++i)
    {
        out += kDigits[row[i] >> 4];
        out += kDigits[row[i] & 15];
        if (i % 30 == 29)
            out += "\n\t\t\t  ";
    }
}

// The writer's expression row: whole below 60 characters, else broken after every 60th.
void PutExpressionRow(std::string& out, const std::string& text)
{
    out += "\t\t\t";
    if (text.size() < 60)
    {
        out += text;
        return;
    }
    for (size_t at = 0; at < text.size(); at += 60)
    {
        size_t piece = text.size() - at < 60 ? text.size() - at : 60;
        out.append(text, at, piece);
        if (piece == 60)
            out += "\n\t\t\t";
    }
}

int Usage()
{
    fprintf(stderr, "usage: rizeroz-generate OUT --size MB [--row-bytes N] [--rows-per-block N]\n"
                    "       [--blocks-per-field N] [--kind random|patterned|mixed] [--expressions] [--seed N]\n");
    return 2;
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i)
    {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--size" && hasValue)
            options.dSizeMB = atof(argv[++i]);
        else if (arg == "--row-bytes" && hasValue)
            options.nRowBytes = atoi(argv[++i]);
        else if (arg == "--rows-per-block" && hasValue)
            options.nRowsPerBlock = atoi(argv[++i]);
        else if (arg == "--blocks-per-field" && hasValue)
            options.nBlocksPerField = atoi(argv[++i]);
        else if (arg == "--kind" && hasValue)
            options.sKind = argv[++i];
        else if (arg == "--seed" && hasValue)
            options.nSeed = strtoull(argv[++i], nullptr, 10);
        else if (arg == "--expressions")
            options.bExpressions = true;
        else if (arg[0] != '-' && options.pszOutput == nullptr)
            options.pszOutput = argv[i];
        else
            return false;
    }
    return options.pszOutput != nullptr && options.dSizeMB > 0 && options.nRowBytes >= 0 && options.nRowsPerBlock > 0 &&
           options.nBlocksPerField > 0 &&
           (options.sKind == "random" || options.sKind == "patterned" || options.sKind == "mixed");
}

// The room the closing tags after the last row take (counted with a terminating NUL, as
// the size asked for always was).
const size_t kTailSize = sizeof("\t\t</FieldBlock>\n\t</DataField>\n</SVF_Plus_Data>\n");

// The document, made field by field and written out a megabyte at a time, until it
// reaches the size asked for.
class Generator
{
public:
    Generator(const Options& options, FILE* out)
        : m_options(options), m_out(out),
          m_target((unsigned long long)(options.dSizeMB * 1024 * 1024)), m_random{options.nSeed},
          m_row((size_t)options.nRowBytes)
    {
    }

    // The whole document, to the file.
    void Write()
    {
        m_text += "<?xml version='1.0' encoding='utf-8' ?>\n";
        m_text += "<!DOCTYPE\t\tSVF_Plus_Data\tSYSTEM\t\"SVF_Plus_Data.dtd\" >\n";
        m_text += "<SVF_Plus_Data version=\"1.0\">\n";
        m_text += "\t<Comment>generated: " + m_options.sKind + " rows of " + std::to_string(m_options.nRowBytes) +
                  " bytes</Comment>\n";
        while (!m_bDone)
            PutField();
        m_text += "</SVF_Plus_Data>\n";
        m_written += fwrite(m_text.data(), 1, m_text.size(), m_out);
    }
    unsigned long long Written() const { return m_written; }
    unsigned long long Rows() const { return m_rows; }
    int Fields() const { return m_fields; }

private:
    void PutField()
    {
        char head[128];
        snprintf(head, sizeof(head), "\t<DataField\tname=\"FIELD_%d\"\n\t\t\t\tchecksum=\"0x%.4x\">\n", m_fields,
                 (unsigned)m_random.Below(0xFFFF) + 1);
        m_text += head;
        for (int block = 0; block < m_options.nBlocksPerField && !m_bDone; ++block)
            PutBlock(block);
        m_text += "\t</DataField>\n";
        ++m_fields;
    }

    void PutBlock(int block)
    {
        // Neighbouring blocks of one width would read back as one block: the width
        // alternates between 8n and 8n - 1 bits, both rows of n bytes.
        int width = m_options.nRowBytes * 8 - (block % 2 == 1 && m_options.nRowBytes > 0 ? 1 : 0);
        char head[128];
        snprintf(head, sizeof(head), "\t\t<FieldBlock\trow_width=\"%d\">\n", width);
        m_text += head;
        for (int k = 0; k < m_options.nRowsPerBlock && !m_bDone; ++k)
        {
            PutRow();
            // Stop once the document with its closing tags reaches the size asked for.
            m_bDone = m_written + m_text.size() + kTailSize >= m_target;
            bool last = m_bDone || k + 1 == m_options.nRowsPerBlock;
            m_text += last ? "\n" : ",\n";
            if (m_text.size() > (1u << 20))
            {
                m_written += fwrite(m_text.data(), 1, m_text.size(), m_out);
                m_text.clear();
            }
        }
        m_text += "\t\t</FieldBlock>\n";
    }

    void PutRow()
    {
        bool patterned = m_options.sKind == "patterned" || (m_options.sKind == "mixed" && m_rows % 2 == 1);
        if (patterned)
        {
            FillPatterned(m_random, m_row, m_expression);
            if (m_options.bExpressions && m_expression.size() < 2 + 2 * m_row.size())
                PutExpressionRow(m_text, m_expression);
            else
                PutHexRow(m_text, m_row);
        }
        else
        {
            FillRandom(m_random, m_row);
            PutHexRow(m_text, m_row);
        }
        ++m_rows;
    }

    const Options& m_options;
    FILE* m_out;
    const unsigned long long m_target;
    Random m_random;
    std::vector<unsigned char> m_row;
    std::string m_expression;
    std::string m_text;   // made, not yet written
    unsigned long long m_written = 0;
    unsigned long long m_rows = 0;
    int m_fields = 0;
    bool m_bDone = false;
};
}

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options))
        return Usage();

    FILE* out = fopen(options.pszOutput, "wb");
    if (out == nullptr)
    {
        perror(options.pszOutput);
        return 1;
    }
    Generator generator(options, out);
    generator.Write();
    if (fclose(out) != 0)
    {
        perror(options.pszOutput);
        return 1;
    }
    printf("%s: %llu bytes, %llu rows of %d bytes, %d fields\n", options.pszOutput, generator.Written(),
           generator.Rows(), options.nRowBytes, generator.Fields());
    return 0;
}
