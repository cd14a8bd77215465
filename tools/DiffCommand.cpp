// `rizeroz diff A B`: compares two files, data files or JSON, by what a data file carries
// of their models (--exact: the models as they are), and prints one line per difference
// (a row that differs with its bytes about the first that differs, as git shows a line
// that goes and one that comes), a summary per field (--stat), or one JSON object. Exit 0
// when they are the same, 1 when they differ, 2 on an error.
// A is loaded whole; B, when it is a data file, is compared row by row as it is read
// (RowComparison in ModelCompare.h), so that the two files take the memory of about one model.
#include "Commands.h"

#include <stdio.h>

#include <algorithm>
#include <map>

#include "DataFile.h"
#include "Diagnostics.h"
#include "DiffText.h"
#include "JsonReport.h"
#include "ModelCompare.h"
#include "ToolText.h"

namespace
{
// A row's excerpt: "excerpt": {"offset": N, "first": "HEX", "second": "HEX"}.
void WriteExcerpt(JsonDocument& document, const RowExcerpt& excerpt)
{
    JsonWriter& out = document.Write();
    document.Object("excerpt");
    document.Number("offset", excerpt.nFrom);
    const char* const kSides[] = {"first", "second"};
    for (int side = 0; side < 2; ++side)
    {
        out.Key(kSides[side]);
        document.Hex(excerpt.bytes[side], (size_t)excerpt.nCount[side]);
    }
    out.EndObject();
}

// The same as one JSON object.
void WriteEntry(JsonDocument& document, const Difference& difference)
{
    static const char* const kKinds[] = {"version",  "comment", "order",     "field", "field", "name",
                                         "checksum", "blocks",  "row_width", "rows",  "row"};
    const char* const kSides[] = {"first", "second"};
    JsonWriter& out = document.Write();
    Difference::Kind kind = difference.kind;
    out.StartObject();
    document.Member("kind", kKinds[kind]);
    if (kind == Difference::FIELD_NAME)
        document.Number("field_index", difference.nField);
    if (kind == Difference::VERSION || kind == Difference::COMMENT || kind == Difference::FIELD_NAME)
    {
        for (int side = 0; side < 2; ++side)
            document.Member(kSides[side], difference.text[side]);
    }
    else if (kind == Difference::FIELD_ORDER)
    {
        for (int side = 0; side < 2; ++side)
        {
            document.Array(kSides[side]);
            for (const char* name : difference.order[side])
                document.Text(name);
            out.EndArray();
        }
    }
    else if (kind == Difference::FIELD_ONLY_FIRST || kind == Difference::FIELD_ONLY_SECOND)
    {
        document.Member("field", difference.field);
        document.Member("only_in", kSides[kind == Difference::FIELD_ONLY_FIRST ? 0 : 1]);
    }
    else
    {
        document.Member("field", difference.field);
        if (difference.nBlock >= 0)
            document.Number("block", difference.nBlock);
        if (kind == Difference::ROW)
        {
            document.Number("row", difference.nRow);
            document.Number("offset", difference.nOffset, difference.nOffset >= 0);
            document.Number("bits", difference.nBits);
        }
        for (int side = 0; side < 2; ++side)
        {
            long long count = side == 0 ? difference.first : difference.second;
            if (kind != Difference::ROW)
            {
                document.Number(kSides[side], count);
                continue;
            }
            document.Object(kSides[side]);
            document.Number("length", count);
            document.Number("byte", difference.nByte[side], difference.nOffset >= 0);
            out.EndObject();
        }
        if (kind == Difference::ROW)
            WriteExcerpt(document, difference.excerpt);
    }
    out.EndObject();
}

// The differences of each field, for --stat: the rows that differ and their bits, and
// what else differs, in the order the differences come.
class DiffStat
{
public:
    void Add(const Difference& difference)
    {
        static const char* const kWhat[] = {"version",
                                            "comment",
                                            "field order",
                                            "only in the first file",
                                            "only in the second file",
                                            "name",
                                            "checksum",
                                            "number of blocks",
                                            "row width",
                                            "number of rows",
                                            ""};
        const char* what = kWhat[difference.kind];
        if (difference.kind <= Difference::FIELD_ORDER)
            return Note(m_file, what);
        FieldStat& field = Field(difference);
        if (difference.kind != Difference::ROW)
            return Note(field.others, what);
        ++field.nRows;
        field.nBits += difference.nBits;
    }

    // One line per field that differs (and one, "(file)", for what the file as a whole
    // does), its name padded to the longest, then the sum, as git's --stat gives them.
    void Print(long long count) const
    {
        size_t widest = m_file.empty() ? 0 : 6;
        for (const FieldStat& field : m_fields)
            widest = std::max(widest, Width(field.name));
        if (!m_file.empty())
            printf(" %-*s | %s\n", (int)widest, "(file)", Joined(m_file).c_str());
        long long rows = 0, bits = 0;
        for (const FieldStat& field : m_fields)
        {
            std::vector<std::string> what = field.others;
            if (field.nRows > 0)
                what.insert(what.begin(),
                            Counted(field.nRows, "row", "rows") + " (" + Counted(field.nBits, "bit", "bits") + ")");
            printf(" %s%*s | %s\n", field.name.c_str(), (int)(widest - Width(field.name)), "", Joined(what).c_str());
            rows += field.nRows;
            bits += field.nBits;
        }
        std::string summary = Counted(count, "difference", "differences");
        if (!m_fields.empty())
            summary += " in " + Counted((long long)m_fields.size(), "field", "fields");
        if (rows > 0)
            summary += ": " + Counted(rows, "row", "rows") + " and " + Counted(bits, "bit", "bits") + " differ";
        printf("%s.\n", summary.c_str());
    }

private:
    struct FieldStat
    {
        std::string name;
        long long nRows = 0;
        long long nBits = 0;
        std::vector<std::string> others;
    };

    static void Note(std::vector<std::string>& list, const char* what)
    {
        if (std::find(list.begin(), list.end(), what) == list.end())
            list.push_back(what);
    }
    static std::string Joined(const std::vector<std::string>& list)
    {
        std::string joined;
        for (const std::string& item : list)
            joined += (joined.empty() ? "" : ", ") + item;
        return joined;
    }
    // Characters of a UTF-8 text, as a terminal gives them columns.
    static size_t Width(const std::string& text)
    {
        return (size_t)std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; });
    }
    // A field's statistics: by its index in the first file, or in the second for a field
    // only the second has.
    FieldStat& Field(const Difference& difference)
    {
        auto key = std::make_pair(difference.kind == Difference::FIELD_ONLY_SECOND, difference.nField);
        auto found = m_index.find(key);
        if (found != m_index.end())
            return m_fields[found->second];
        m_index[key] = m_fields.size();
        m_fields.emplace_back();
        m_fields.back().name = difference.field != nullptr ? Printable(difference.field) : "(no name)";
        return m_fields.back();
    }

    std::vector<std::string> m_file;   // what differs of the file as a whole
    std::vector<FieldStat> m_fields;
    std::map<std::pair<bool, int>, size_t> m_index;
};

// Prints the first `max` differences as they come (or keeps them for the JSON object, or
// sums them up for --stat) and counts them all.
class DiffPrinter : public DifferenceSink
{
public:
    DiffPrinter(const DiffRequest& request) : m_request(request), m_nCount(0) {}

    void Add(const Difference& difference) override
    {
        if (m_request.stat && !m_request.quiet)
            m_stat.Add(difference);
        if (m_nCount++ >= (long long)m_request.max || m_request.quiet || m_request.stat)
            return;
        if (m_request.json)
            m_entries.push_back(difference);
        else
            printf("%s\n", DifferenceLine(difference, StdoutHasColour()).c_str());
        if (!m_request.json && difference.kind == Difference::ROW)
            printf("%s\n%s\n", ExcerptLine(difference, 0, StdoutHasColour()).c_str(),
                   ExcerptLine(difference, 1, StdoutHasColour()).c_str());
    }

    long long Finish()
    {
        if (m_request.quiet)
            return m_nCount;
        if (m_request.json)
            PrintJson();
        else if (m_nCount > 0 && m_request.stat)
            m_stat.Print(m_nCount);
        else if (m_nCount > 0)
        {
            printf("%s\n", DifferenceSummary(m_nCount, m_request.max).c_str());
        }
        return m_nCount;
    }

private:
    void PrintJson()
    {
        JsonStandardOutput output;
        JsonDocument document(output);
        JsonWriter& out = document.Write();
        out.StartObject();
        document.Member("first", ShownName(m_request.first));
        document.Member("second", ShownName(m_request.second));
        document.Flag("exact", m_request.exact);
        document.Flag("equal", m_nCount == 0);
        document.Number("count", m_nCount);
        document.Array("differences");
        for (const Difference& difference : m_entries)
            WriteEntry(document, difference);
        out.EndArray();
        out.EndObject();
        document.Finish();
    }

    const DiffRequest& m_request;
    long long m_nCount;
    std::vector<Difference> m_entries;   // the differences for the JSON object
    DiffStat m_stat;
};
}

int RunDiff(const DiffRequest& request)
{
    LoadedModel first;
    std::string error;
    if (first.Load(request.first, request.from, error) < 0)
        return ReportError(error);
    // A data file is compared row by row as the handler reads it: the handler makes its
    // blocks as a data file carries them, so every row read stands where the view has it.
    // JSON is compared once it is read whole.
    RowComparison comparison(first.Get(), request.exact ? VIEW_EXACT : VIEW_CARRIED, true);
    ToolReader reader(IsJsonInput(request.second, request.fromSecond) ? nullptr : &comparison);
    if (reader.Load(request.second, request.fromSecond, error) < 0)
        return ReportError(error);
    DiffPrinter printer(request);
    comparison.Finish(reader.GetSVFPlusData(), false, printer);
    // The differences point into both models: they are printed while the models live.
    return printer.Finish() == 0 ? TOOL_EXIT_OK : TOOL_EXIT_DIFFERENT;
}
