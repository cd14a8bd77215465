// Reading back what `convert` wrote, compared row by row with the model written
// (RowComparison in ModelCompare.h); the first difference is the one told.
#include "ReadBack.h"

#include "DataFile.h"
#include "Progress.h"
#include "ModelCompare.h"

namespace
{
class FirstDifference : public DifferenceSink
{
public:
    void Add(const Difference& difference) override
    {
        if (!m_bFound)
            m_first = difference;
        m_bFound = true;
    }
    bool m_bFound = false;
    Difference m_first;
};
}

std::string CheckWrittenDataFile(SVFPlusData* model, const std::string& readPath, const std::string& shown,
                                 bool expressions)
{
    RowComparison comparison(model, VIEW_CARRIED, false);
    ToolReader reader(&comparison);
    Progress progress("checking " + shown);
    std::string problem;
    if (reader.Read(readPath, shown, &progress, problem) < 0)
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
    RowComparison comparison(model, VIEW_EXACT, false);
    Progress progress("checking " + shown);
    SVFPlusData reread;
    ToolReader reader(&comparison);
    std::string problem;
    if (reader.ReadJson(readPath, shown, reread, &progress, problem) != 0)
        return "reading it gives: " + problem;
    FirstDifference found;
    comparison.Finish(&reread, true, found);
    return found.m_bFound ? DescribeReadBack(found.m_first) : std::string();
}
