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

std::string CheckWrittenDataFile(SVFPlusData* model, const std::string& readPath, const std::string& shown)
{
    RowComparison comparison(model, VIEW_CARRIED, false);
    ToolReader reader(&comparison);
    Progress progress("checking " + shown);
    std::string problem;
    if (reader.Read(readPath, shown, &progress, problem) < 0)
        return "reading it gives: " + problem;
    FirstDifference found;
    comparison.Finish(reader.GetSVFPlusData(), false, found);
    return found.m_bFound ? DescribeReadBack(found.m_first) : std::string();
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
