// `rizeroz info` and `rizeroz dump`: what a file holds, as a summary or row by row.
#include "Commands.h"

#include <stdio.h>
#include <string.h>

#include "DataFile.h"
#include "ToolText.h"
#include "JsonReport.h"

namespace
{
// What a block, a field or a whole model holds.
struct Totals
{
    long long nBlocks = 0;
    long long nRows = 0;
    long long nBytes = 0;

    Totals() = default;
    explicit Totals(SVFDataField::DataBlock* block) : nBlocks(1), nRows(block->GetNumberOfRows())
    {
        for (int k = 1; k <= block->GetNumberOfRows(); ++k)
            nBytes += block->GetRow(k)->GetTotalSize();
    }
    explicit Totals(SVFDataField* field)
    {
        for (int j = 0; j < field->GetFieldBlockCount(); ++j)
            *this += Totals(field->GetDataBlock(j));
    }
    Totals& operator+=(const Totals& other)
    {
        nBlocks += other.nBlocks;
        nRows += other.nRows;
        nBytes += other.nBytes;
        return *this;
    }
    // "2 rows, 8 bytes"
    std::string RowsAndBytes() const { return Counted(nRows, "row", "rows") + ", " + Counted(nBytes, "byte", "bytes"); }
};

// A text of the model for the summary: "(none)" for null, "(empty)" for "", and
// continuation lines indented under the first.
// Prints `label` and a text of the model, its later lines indented to stand under the
// first, a line at a time (a comment may be of gigabytes).
void PrintShown(const char* label, const char* text)
{
    const int indent = 9;
    printf("%-*s", indent, label);
    if (text == nullptr || text[0] == '\0')
        fputs(text == nullptr ? "(none)" : "(empty)", stdout);
    for (const char* p = text; p != nullptr && *p != '\0';)
    {
        const char* end = strchr(p, '\n');
        size_t length = end != nullptr ? (size_t)(end - p) + 1 : strlen(p);
        fwrite(p, 1, length, stdout);
        p += length;
        if (*p != '\0')
            printf("%*s", indent, "");
    }
    fputc('\n', stdout);
}

void PrintText(SVFPlusData* model, const std::string& path)
{
    printf("File:    %s\n", path.c_str());
    PrintShown("Version:", model->GetVersion());
    PrintShown("Comment:", model->GetComment());
    Totals all;
    for (int i = 0; i < model->GetDataFieldCount(); ++i)
    {
        SVFDataField* field = model->GetDataField(i);
        Totals totals(field);
        const char* name = field->GetFieldName();
        printf("Field \"%s\": %s, %s, %s\n", name != nullptr ? name : "",
               field->m_nChecksum != 0 ? ("checksum " + Hex(field->m_nChecksum, 4)).c_str() : "no checksum",
               Counted(totals.nBlocks, "block", "blocks").c_str(), totals.RowsAndBytes().c_str());
        for (int j = 0; j < field->GetFieldBlockCount(); ++j)
        {
            SVFDataField::DataBlock* block = field->GetDataBlock(j);
            printf("  block %d: row width %d bits, %s\n", j, block->m_nRowWidth, Totals(block).RowsAndBytes().c_str());
        }
        all += totals;
    }
    printf("Total: %s, %s, %s\n", Counted(model->GetDataFieldCount(), "field", "fields").c_str(),
           Counted(all.nBlocks, "block", "blocks").c_str(), all.RowsAndBytes().c_str());
}

// Writes "rows" and "bytes" of `totals`.
void WriteCounts(JsonDocument& document, const Totals& totals)
{
    document.Number("rows", totals.nRows);
    document.Number("bytes", totals.nBytes);
}

void PrintJson(SVFPlusData* model, const std::string& path, bool oneLine)
{
    JsonReportOutput report(oneLine);
    JsonDocument& document = report.Document();
    JsonWriter& out = document.Write();
    out.StartObject();
    document.Member("file", path);
    // The members of the model's JSON form, with the counts in place of the rows.
    document.Member("version", model->GetVersion());
    document.Member("comment", model->GetComment());
    document.Array("fields");
    Totals all;
    for (int i = 0; i < model->GetDataFieldCount(); ++i)
    {
        SVFDataField* field = model->GetDataField(i);
        if (field == nullptr)
            continue;
        out.StartObject();
        document.Member("name", field->GetFieldName());
        document.Number("checksum", field->m_nChecksum);
        document.Array("blocks");
        for (int j = 0; j < field->GetFieldBlockCount(); ++j)
        {
            SVFDataField::DataBlock* block = field->GetDataBlock(j);
            out.StartObject();
            document.Number("row_width", block->m_nRowWidth);
            WriteCounts(document, Totals(block));
            out.EndObject();
        }
        out.EndArray();
        Totals totals(field);
        WriteCounts(document, totals);
        all += totals;
        out.EndObject();
    }
    out.EndArray();
    document.Object("totals");
    document.Number("fields", model->GetDataFieldCount());
    document.Number("blocks", all.nBlocks);
    WriteCounts(document, all);
    out.EndObject();
    out.EndObject();
    document.Finish();
}

// A file that cannot be read, for programs as the JSON of `info` gives it: its name and
// the library's error (its code, place and sentence).
void PrintJsonError(const ErrorReport& failure, const std::string& path, bool oneLine)
{
    JsonReportOutput report(oneLine);
    JsonDocument& document = report.Document();
    JsonWriter& out = document.Write();
    out.StartObject();
    document.Member("file", path);
    document.Object("error");
    document.Number("code", failure.GetCode(), failure.GetCode() != 0);
    document.Number("line", failure.GetLine());
    document.Number("column", failure.GetColumn());
    document.Member("message", failure.GetSentence() != nullptr ? failure.GetSentence() : "the file cannot be read");
    out.EndObject();
    out.EndObject();
    document.Finish();
}
}

int RunInfo(const std::string& path, FileFormat from, OutputForm form)
{
    LoadedModel loaded;
    std::string error;
    if (loaded.Load(path, from, error) < 0)
    {
        if (form != OUTPUT_TEXT)
            PrintJsonError(loaded.Failure(), ShownName(path), form == OUTPUT_JSON_LINE);
        return ReportError(error);
    }
    if (form == OUTPUT_TEXT)
        PrintText(loaded.Get(), ShownName(path));
    else
        PrintJson(loaded.Get(), ShownName(path), form == OUTPUT_JSON_LINE);
    return TOOL_EXIT_OK;
}

int RunDump(const std::string& path, FileFormat from)
{
    LoadedModel loaded;
    std::string error;
    if (loaded.Load(path, from, error) < 0)
        return ReportError(error);
    SVFPlusData* model = loaded.Get();
    std::string line;
    for (int i = 0; i < model->GetDataFieldCount(); ++i)
    {
        SVFDataField* field = model->GetDataField(i);
        const char* name = field->GetFieldName();
        for (int j = 0; j < field->GetFieldBlockCount(); ++j)
        {
            SVFDataField::DataBlock* block = field->GetDataBlock(j);
            for (int k = 1; k <= block->GetNumberOfRows(); ++k)
            {
                // Blocks and rows are numbered from 0 here, as indexes are.
                // The line's text is built in place, its buffer kept from row to row.
                line = name != nullptr ? name : "";
                line += "[" + std::to_string(j) + "][" + std::to_string(k - 1) + "] =";
                std::string hex = RowToHex(block->GetRow(k));
                if (!hex.empty())
                    line += " " + hex;
                line += "\n";
                fwrite(line.data(), 1, line.size(), stdout);
            }
        }
    }
    return TOOL_EXIT_OK;
}
