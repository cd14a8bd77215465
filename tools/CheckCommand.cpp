// `rizeroz check`: reads a data file with the handler, and reports what the reader took
// without a word. The handler is the judge of errors (a read that fails); the elements
// it skipped come from its own start-tag hook; everything else from a scan of the text
// (DocumentScan). Exit 0 when clean, 1 on warnings only, 2 on an error.
#include "Commands.h"

#include <stdio.h>

#include <algorithm>
#include <vector>

#include "DataFile.h"
#include "ToolText.h"
#include "DocumentScan.h"

namespace
{
// The handler, noting every element its start-tag hook refuses: those the reader skips
// with everything inside them.
class CheckingReader : public RODAzivUzirAdovIzozari
{
public:
    std::vector<CheckFinding> m_skipped;

    int OnSetStartTag() override
    {
        int result = RODAzivUzirAdovIzozari::OnSetStartTag();
        if (result < 0 && m_pStartTag != nullptr)
        {
            CheckFinding finding;
            finding.nLine = GetLine();
            finding.nColumn = GetColumn();
            finding.text = std::string("the reader skips the element <") + m_pStartTag->GetNodeName() +
                           ">, which is not one of the data file's elements.";
            m_skipped.push_back(finding);
        }
        return result;
    }
};

bool Before(const CheckFinding& finding, long line, long column)
{
    return finding.nLine < line || (finding.nLine == line && finding.nColumn < column);
}
}

int RunCheck(const std::string& path)
{
    if (IsJsonName(path))
    {
        // A JSON file has nothing the reader could take quietly: it loads or it does not.
        SVFPlusData model;
        std::string error;
        if (LoadModel(path, model, error) < 0)
        {
            ReportError(error);
            printf("%s: 1 error.\n", path.c_str());
            return TOOL_EXIT_ERROR;
        }
        printf("%s: no problems found.\n", path.c_str());
        return TOOL_EXIT_OK;
    }

    // A pipe gives its bytes once: the reader and the scan read one copy of them.
    RereadableInput input;
    std::string error;
    if (!input.Open(path, error))
        return ReportError(error);
    CheckingReader reader;
    int result = ReadDataFile(reader, input.GetPath(), error, path);

    std::vector<CheckFinding> findings = reader.m_skipped;
    std::string text;
    std::string unreadable;
    if (ReadWholeFile(input.GetPath(), text, unreadable))
        ScanDocument(text, findings);
    std::stable_sort(findings.begin(), findings.end(), [](const CheckFinding& a, const CheckFinding& b) {
        return Before(a, b.nLine, b.nColumn);
    });

    if (result < 0 && reader.GetErrorHandler()->GetReportCount() > 0 && reader.GetLine() > 0)
    {
        // The reader stopped at its error: what the scan found behind it was never read.
        long line = reader.GetLine();
        long column = reader.GetColumn();
        findings.erase(std::remove_if(findings.begin(), findings.end(),
                                      [line, column](const CheckFinding& f) { return !Before(f, line, column); }),
                       findings.end());
    }

    for (const CheckFinding& finding : findings)
        printf("%s, line %ld, column %ld: warning: %s\n", path.c_str(), finding.nLine, finding.nColumn,
               finding.text.c_str());
    if (result < 0)
        ReportError(error);

    std::string summary = result < 0 ? "1 error" : std::string();
    if (!findings.empty())
        summary += (summary.empty() ? "" : ", ") + Counted((long long)findings.size(), "warning", "warnings");
    printf("%s: %s.\n", path.c_str(), summary.empty() ? "no problems found" : summary.c_str());
    if (result < 0)
        return TOOL_EXIT_ERROR;
    return findings.empty() ? TOOL_EXIT_OK : TOOL_EXIT_WARNINGS;
}
