// Reading back what `convert` wrote, compared row by row with the model written
// (RowComparison.h); the first difference is the one told.
#include "ReadBack.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include "Progress.h"
#include "RowComparison.h"

namespace
{
class FirstDifference : public DifferenceSink
{
public:
    FirstDifference() : m_bFound(false), m_first() {}
    void Add(const Difference& difference) override
    {
        if (!m_bFound)
            m_first = difference;
        m_bFound = true;
    }
    bool m_bFound;
    Difference m_first;
};

// Compares the text given to it with the bytes of a file, piece by piece.
class FileComparison : public JsonOutput
{
public:
    explicit FileComparison(FILE* file) : m_pFile(file), m_bSame(true) {}
    bool Put(const char* data, size_t length) override
    {
        m_buffer.resize(length);
        m_bSame =
            m_bSame && fread(&m_buffer[0], 1, length, m_pFile) == length && memcmp(&m_buffer[0], data, length) == 0;
        return m_bSame;
    }
    // True when the file held the text given and nothing more.
    bool Same() { return m_bSame && fgetc(m_pFile) == EOF && !ferror(m_pFile); }

private:
    FILE* m_pFile;
    std::string m_buffer;
    bool m_bSame;
};
}

std::string CheckWrittenDataFile(SVFPlusData* model, const std::string& readPath, const std::string& shown,
                                 bool expressions)
{
    RowComparison comparison(model, VIEW_CARRIED, false);
    ComparingReader reader(comparison);
    Progress progress("checking " + shown);
    std::string problem;
    if (reader.ReadWithProgress(readPath, shown, &progress, comparison.GetRowCount(), problem) < 0)
        return "reading it gives: " + problem;
    FirstDifference found;
    comparison.Finish(reader.GetSVFPlusData(), false, found);
    std::string difference = found.m_bFound ? DescribeReadBack(found.m_first) : std::string();
    // An expression reads back with no more bytes than the row width holds.
    if (!difference.empty() && expressions)
    {
        for (int i = 0; i < model->GetDataFieldCount(); ++i)
        {
            SVFDataField* field = model->GetDataField(i);
            for (int j = 0; j < field->GetFieldBlockCount(); ++j)
            {
                SVFDataField::DataBlock* block = field->GetDataBlock(j);
                long long widthBytes = block->m_nRowWidth > 0 ? ((long long)block->m_nRowWidth + 7) / 8 : 0;
                for (int k = 1; k <= block->GetNumberOfRows(); ++k)
                    if ((long long)block->GetRow(k)->GetTotalSize() > widthBytes)
                        return difference + "; a row longer than its row width does not survive as an expression, so "
                                            "convert without --expressions";
            }
        }
    }
    return difference;
}

std::string CheckWrittenJson(SVFPlusData* model, const std::string& readPath, const std::string& shown)
{
    FILE* file = fopen(readPath.c_str(), "rb");
    if (file == nullptr)
        return std::string("reading it gives: ") + strerror(errno);
    FileComparison bytes(file);
    bool same = WriteJsonModel(model, bytes) && bytes.Same();
    fclose(file);
    if (!same)
        return "the file does not hold the text written";

    RowComparison comparison(model, VIEW_EXACT, false);
    Progress progress("checking " + shown);
    SVFPlusData reread;
    ComparingObserver observer(comparison, reread, progress);
    std::string problem;
    if (ReadJsonFile(readPath, reread, &observer, problem, shown) != 0)
        return "reading it gives: " + problem;
    FirstDifference found;
    comparison.Finish(&reread, true, found);
    return found.m_bFound ? DescribeReadBack(found.m_first) : std::string();
}
