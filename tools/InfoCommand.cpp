// `rizeroz info` and `rizeroz dump`: what a file holds, as a summary or row by row.
#include "Commands.h"

#include <stdio.h>

#include "DataFile.h"
#include "ToolText.h"
#include "JsonModel.h"

namespace
{
struct Totals
{
    long long nBlocks = 0;
    long long nRows = 0;
    long long nBytes = 0;

    Totals& operator+=(const Totals& other)
    {
        nBlocks += other.nBlocks;
        nRows += other.nRows;
        nBytes += other.nBytes;
        return *this;
    }
};

Totals CountBlock(SVFDataField::DataBlock* block)
{
    Totals totals;
    totals.nBlocks = 1;
    totals.nRows = block->GetNumberOfRows();
    for (int k = 1; k <= block->GetNumberOfRows(); ++k)
        totals.nBytes += block->GetRow(k)->GetTotalSize();
    return totals;
}

Totals CountField(SVFDataField* field)
{
    Totals totals;
    for (int j = 0; j < field->GetFieldBlockCount(); ++j)
        totals += CountBlock(field->GetDataBlock(j));
    return totals;
}

// A text of the model for the summary: "(none)" for null, "(empty)" for "", and
// continuation lines indented under the first.
std::string Shown(const char* text, size_t indent)
{
    if (text == nullptr)
        return "(none)";
    if (text[0] == '\0')
        return "(empty)";
    std::string shown;
    for (const char* p = text; *p != '\0'; ++p)
    {
        shown += *p;
        if (*p == '\n' && p[1] != '\0')
            shown.append(indent, ' ');
    }
    return shown;
}

void PrintText(SVFPlusData* model, const std::string& path)
{
    printf("File:    %s\n", path.c_str());
    printf("Version: %s\n", Shown(model->GetVersion(), 9).c_str());
    printf("Comment: %s\n", Shown(model->GetComment(), 9).c_str());
    Totals all;
    for (int i = 0; i < model->GetDataFieldCount(); ++i)
    {
        SVFDataField* field = model->GetDataField(i);
        Totals totals = CountField(field);
        char checksum[32];
        if (field->m_nChecksum != 0)
            snprintf(checksum, sizeof(checksum), "checksum 0x%04X", field->m_nChecksum);
        else
            snprintf(checksum, sizeof(checksum), "no checksum");
        const char* name = field->GetFieldName();
        printf("Field \"%s\": %s, %s, %s, %s\n", name != nullptr ? name : "", checksum,
               Counted(totals.nBlocks, "block", "blocks").c_str(), Counted(totals.nRows, "row", "rows").c_str(),
               Counted(totals.nBytes, "byte", "bytes").c_str());
        for (int j = 0; j < field->GetFieldBlockCount(); ++j)
        {
            SVFDataField::DataBlock* block = field->GetDataBlock(j);
            Totals counted = CountBlock(block);
            printf("  block %d: row width %d bits, %s, %s\n", j, block->m_nRowWidth,
                   Counted(counted.nRows, "row", "rows").c_str(), Counted(counted.nBytes, "byte", "bytes").c_str());
        }
        all += totals;
    }
    printf("Total: %s, %s, %s, %s\n", Counted(model->GetDataFieldCount(), "field", "fields").c_str(),
           Counted(all.nBlocks, "block", "blocks").c_str(), Counted(all.nRows, "row", "rows").c_str(),
           Counted(all.nBytes, "byte", "bytes").c_str());
}

// Writes "rows" and "bytes" of `totals`.
void WriteCounts(JsonDocument& document, const Totals& totals)
{
    document.Number("rows", totals.nRows);
    document.Number("bytes", totals.nBytes);
}

void PrintJson(SVFPlusData* model, const std::string& path)
{
    JsonStandardOutput output;
    JsonDocument document(output);
    rapidjson::PrettyWriter<JsonPieces>& out = document.Write();
    out.StartObject();
    document.Member("file", path);
    Totals all;
    WriteModelMembers(
        document, model, [&](SVFDataField::DataBlock* block) { WriteCounts(document, CountBlock(block)); },
        [&](SVFDataField* field) {
            Totals totals = CountField(field);
            WriteCounts(document, totals);
            all += totals;
        });
    document.Object("totals");
    document.Number("fields", model->GetDataFieldCount());
    document.Number("blocks", all.nBlocks);
    WriteCounts(document, all);
    out.EndObject();
    out.EndObject();
    document.Finish();
}
}

int RunInfo(const std::string& path, FileFormat from, bool json)
{
    LoadedModel loaded;
    std::string error;
    if (loaded.Load(path, from, error) < 0)
        return ReportError(error);
    if (json)
        PrintJson(loaded.Get(), ShownName(path));
    else
        PrintText(loaded.Get(), ShownName(path));
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
