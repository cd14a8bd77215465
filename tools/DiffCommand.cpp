// `rizeroz diff A B`: compares two files, data files or JSON, by what a data file carries
// of their models (--exact: the models as they are), and prints one line per difference,
// or one JSON object. Exit 0 when they are the same, 1 when they differ, 2 on an error.
// A is loaded whole; B, when it is a data file, is compared row by row as it is read
// (RowComparison in ModelCompare.h), so that the two files take the memory of about one model.
#include "Commands.h"

#include <stdio.h>

#include "DataFile.h"
#include "Diagnostics.h"
#include "JsonModel.h"
#include "ModelCompare.h"
#include "ToolText.h"

namespace
{
// A field's place on a line of its own (Printable); "(no name)" for a field without one.
std::string Place(const Difference& difference)
{
    std::string place = difference.field != nullptr ? Printable(difference.field) : "(no name)";
    if (difference.nBlock >= 0)
        place += "[" + std::to_string(difference.nBlock) + "]";
    if (difference.nRow >= 0)
        place += "[" + std::to_string(difference.nRow) + "]";
    return place;
}

std::string Names(const std::vector<const char*>& names)
{
    std::string list;
    for (const char* name : names)
        list += (list.empty() ? "" : ", ") + JsonString(name);
    return list;
}

std::string Counts(const Difference& difference, const char* singular, const char* plural)
{
    return Counted(difference.first, singular, plural) + " -> " + Counted(difference.second, singular, plural);
}

// The line of a difference, as docs/cli.md shows it.
std::string Line(const Difference& difference)
{
    switch (difference.kind)
    {
    case Difference::VERSION:
        return "version: " + JsonString(difference.text[0]) + " -> " + JsonString(difference.text[1]);
    case Difference::COMMENT:
        return "comment: " + JsonString(difference.text[0]) + " -> " + JsonString(difference.text[1]);
    case Difference::FIELD_ORDER:
        return "fields: in another order: " + Names(difference.order[0]) + " -> " + Names(difference.order[1]);
    case Difference::FIELD_ONLY_FIRST:
        return Place(difference) + ": only in the first file";
    case Difference::FIELD_ONLY_SECOND:
        return Place(difference) + ": only in the second file";
    case Difference::FIELD_NAME:
        return "field " + std::to_string(difference.nField) + ": name " + JsonString(difference.text[0]) + " -> " +
               JsonString(difference.text[1]);
    case Difference::CHECKSUM:
        return Place(difference) + ": checksum " + Hex(difference.first, 4) + " -> " + Hex(difference.second, 4);
    case Difference::BLOCK_COUNT:
        return Place(difference) + ": " + Counts(difference, "block", "blocks");
    case Difference::ROW_WIDTH:
        return Place(difference) + ": row width " + std::to_string(difference.first) + " -> " +
               std::to_string(difference.second);
    case Difference::ROW_COUNT:
        return Place(difference) + ": " + Counts(difference, "row", "rows");
    case Difference::ROW:
    default:
    {
        std::string line = Place(difference) + ": ";
        if (difference.first != difference.second)
            line += Counts(difference, "byte", "bytes");
        if (difference.nOffset >= 0)
            line += std::string(difference.first != difference.second ? ", " : "") + "byte " +
                    std::to_string(difference.nOffset) + ": " + Hex(difference.nByte[0], 2) + " -> " +
                    Hex(difference.nByte[1], 2);
        return line;
    }
    }
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
    }
    out.EndObject();
}

// Prints the first `max` differences as they come (or keeps them for the JSON object)
// and counts them all.
class DiffPrinter : public DifferenceSink
{
public:
    DiffPrinter(const DiffRequest& request) : m_request(request), m_nCount(0) {}

    void Add(const Difference& difference) override
    {
        if (m_nCount++ >= (long long)m_request.max || m_request.quiet)
            return;
        if (m_request.json)
            m_entries.push_back(difference);
        else
            printf("%s\n", PaintedDifference(Line(difference)).c_str());
    }

    long long Finish()
    {
        if (m_request.quiet)
            return m_nCount;
        if (m_request.json)
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
        else if (m_nCount > 0)
        {
            std::string summary = Counted(m_nCount, "difference", "differences");
            if (m_nCount > (long long)m_request.max)
                summary += " (" + std::to_string(m_request.max) + " shown)";
            printf("%s.\n", summary.c_str());
        }
        return m_nCount;
    }

private:
    const DiffRequest& m_request;
    long long m_nCount;
    std::vector<Difference> m_entries;   // the differences for the JSON object
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
