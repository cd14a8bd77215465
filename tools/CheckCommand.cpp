// `rizeroz check`: what the library's reader says of a data file (its error, if it fails,
// and its warnings: what it takes leniently) and what libxml2 says of it as XML (its
// well-formedness errors, and its validity against the installed document type), in
// document order. The tool knows none of the reader's rules itself. Exit 0 when clean,
// 1 on warnings only, 2 on an error.
#include "Commands.h"

#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <tuple>
#include <vector>

#include "DataFile.h"
#include "HeldInput.h"
#include "JsonReport.h"
#include "Diagnostics.h"
#include "Progress.h"
#include "ToolText.h"
#include "XmlCheck.h"

#if !defined(RIZEROZ_HAVE_LIBXML2)
void CheckXml(XmlInput&, const std::string&, std::vector<CheckFinding>&, Progress*) {}
void CheckXmlFile(const std::string&, const std::string&, std::vector<CheckFinding>&, Progress*) {}
#endif

namespace
{
// The document type file installed with the tool, beside its program's folder.
std::string InstalledDocumentType()
{
#if defined(_WIN32) || !defined(RIZEROZ_DTD_FROM_BIN)
    return "SVF_Plus_Data.dtd";
#else
    std::error_code failed;   // then the path is relative
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failed);
    return (program.parent_path() / RIZEROZ_DTD_FROM_BIN / "SVF_Plus_Data.dtd").string();
#endif
}

CheckFinding FromReport(const ErrorReport& report, bool error)
{
    return CheckFinding(error, "reader", report.GetSentence(), report.GetLine(), report.GetColumn())
        .WithCode(report.GetCode());
}

// Shows the reader's progress; the rows are left to the reader.
class ReadProgress : public SVFReadHook
{
public:
    ReadProgress(const std::string& work, bool sized) : m_progress(work), m_bSized(sized) {}
    void OnRow(int, int, int, UtByteBuffer*) override {}
    void OnProgress(unsigned long long done, unsigned long long total) override
    {
        m_progress.Update(done, m_bSized ? total : 0);
    }

private:
    Progress m_progress;
    bool m_bSized;   // the reader's total is the file's size
};

// The reader's findings on the document at `path`, or, given a `source`, on the bytes it
// gives (`shown` in the progress line and as the document's name); the number of warnings
// it only counted goes to `omitted`. The reader's result.
int ReadFindings(const std::string& path, UtByteSource* source, const std::string& shown,
                 std::vector<CheckFinding>& findings, long long& omitted)
{
    RODAzivUzirAdovIzozari reader;
    reader.EnableWarnings();
    ReadProgress progress("reading " + shown, source == nullptr && IsRegularFile(path));
    reader.SetReadHook(&progress);
    int result =
        source == nullptr ? ReadWithHandler(reader, path) : reader.InitSvfPlusDataSource(source, shown.c_str());
    if (source != nullptr && result >= 0)
        result = reader.ReadModel();
    reader.SetReadHook(nullptr);
    const ErrorHandler* reports = reader.GetErrorHandler();
    for (int i = 0; i < reports->GetWarningCount(); ++i)
        findings.push_back(FromReport(*reports->GetWarning(i), false));
    omitted = reports->GetOmittedWarningCount();
    const ErrorReport* failure = reports->GetFailure();
    if (result < 0)
        findings.push_back(failure != nullptr ? FromReport(*failure, true)
                                              : CheckFinding(true, "reader", "the file cannot be read"));
    return result;
}

// The reader's findings and libxml2's on an input that can be read only once (IsReadOnce):
// the reader reads it as it comes, through a source that keeps what it takes, and
// libxml2 reads what was kept: up to where the reader stopped, or, once the reader has
// read the document to its end, up to the input's end.
void CheckReadOnce(const std::string& file, const std::string& documentType, std::vector<CheckFinding>& findings,
                   long long& omitted)
{
    const std::string shown = ShownName(file);
    StreamSource standard(stdin);
    UtFileSource named;
    if (IsStandardStream(file))
        PrepareStandardStream(stdin);
    else if (named.Open(file.c_str()) != 0)
    {
        // The handler opens it again, and says why it cannot.
        ReadFindings(file, nullptr, shown, findings, omitted);
        return;
    }
    HeldInput held(IsStandardStream(file) ? static_cast<UtByteSource&>(standard) : named);
    if (ReadFindings(file, &held, shown, findings, omitted) >= 0)
    {
        Progress progress("reading " + shown);
        held.Drain(&progress);
    }
    Progress progress("checking " + shown + " with libxml2");
    CheckXml(held, documentType, findings, &progress);
}

std::string Summary(long long errors, long long warnings)
{
    if (errors == 0 && warnings == 0)
        return "no problems found.";
    std::string summary = errors > 0 ? Counted(errors, "error", "errors") : std::string();
    if (warnings > 0)
        summary += (summary.empty() ? "" : ", ") + Counted(warnings, "warning", "warnings");
    return summary + ".";
}

void PrintJson(const std::string& path, const std::vector<CheckFinding>& findings, long long errors, long long warnings,
               long long omitted, bool xmlChecked, bool oneLine)
{
    JsonReportOutput report(oneLine);
    JsonDocument& document = report.Document();
    JsonWriter& out = document.Write();
    out.StartObject();
    document.Member("file", path);
    document.Flag("xml_checked", xmlChecked);
    document.Array("findings");
    for (const CheckFinding& finding : findings)
    {
        out.StartObject();
        document.Member("severity", finding.bError ? "error" : "warning");
        document.Member("source", finding.source);
        document.Number("code", finding.nCode, finding.bHasCode);
        document.Number("line", finding.nLine);
        document.Number("column", finding.nColumn);
        document.Member("message", finding.message);
        out.EndObject();
    }
    out.EndArray();
    document.Number("errors", errors);
    document.Number("warnings", warnings);
    document.Number("warnings_omitted", omitted);
    out.EndObject();
    document.Finish();
}

void PrintText(const std::string& path, const std::vector<CheckFinding>& findings, long long errors, long long warnings,
               long long omitted)
{
    for (const CheckFinding& finding : findings)
    {
        std::string text = finding.message;
        if (finding.bHasCode)
            text += std::string(" (") + (finding.bError ? "error " : "warning ") + std::to_string(finding.nCode) + ")";
        printf(
            "%s\n",
            Painted(Diagnostic(path, finding.nLine, finding.nColumn, finding.bError ? "error" : "warning", text), true)
                .c_str());
    }
    if (omitted > 0)
        printf("%s\n", Diagnostic(path, 0, 0, "warning",
                                  Counted(omitted, "further warning", "further warnings") +
                                      " of the reader not shown: it keeps the first 1000")
                           .c_str());
    printf("%s: %s\n", path.c_str(), Summary(errors, warnings).c_str());
}
// The findings in document order (those without a place first), as lines or as JSON,
// and the exit code they make.
int PrintFindings(const std::string& path, std::vector<CheckFinding>& findings, long long omitted, OutputForm form,
                  bool quiet, bool xmlChecked)
{
    std::stable_sort(findings.begin(), findings.end(), [](const CheckFinding& a, const CheckFinding& b) {
        return std::tie(a.nLine, a.nColumn) < std::tie(b.nLine, b.nColumn);
    });
    long long errors = 0, warnings = omitted;
    for (const CheckFinding& finding : findings)
        ++(finding.bError ? errors : warnings);
    if (form != OUTPUT_TEXT && !quiet)
        PrintJson(path, findings, errors, warnings, omitted, xmlChecked, form == OUTPUT_JSON_LINE);
    else if (!quiet)
        PrintText(path, findings, errors, warnings, omitted);
    return errors > 0 ? TOOL_EXIT_ERROR : warnings > 0 ? TOOL_EXIT_WARNINGS : TOOL_EXIT_OK;
}

}

int RunCheck(const std::string& file, FileFormat format, OutputForm form, bool validate, bool quiet)
{
    const std::string path = ShownName(file);
    std::vector<CheckFinding> findings;
    long long omitted = 0;
    if (IsJsonInput(file, format))
    {
        // A JSON file has nothing the reader could take quietly: it loads or it does not,
        // and a failure is a finding like the reader's.
        ToolReader reader;
        std::string error;
        if (reader.Load(file, format, error) < 0)
        {
            const ErrorReport* problem = reader.GetJsonError();
            findings.push_back(problem != nullptr ? FromReport(*problem, true)
                                                  : CheckFinding(true, "reader", "the file cannot be read"));
        }
        return PrintFindings(path, findings, 0, form, quiet, false);
    }

    // Validity against the document type installed with the tool, never the one the
    // document names.
    const std::string documentType = kCanCheckXml && validate ? InstalledDocumentType() : std::string();
    if (kCanCheckXml && IsReadOnce(file))
        CheckReadOnce(file, documentType, findings, omitted);
    else if (kCanCheckXml)
    {
        // Standard input that is a regular file is read by its name, as a file is.
        const std::string named = IsStandardStream(file) ? "/dev/stdin" : file;
        ReadFindings(named, nullptr, path, findings, omitted);
        Progress progress("checking " + path + " with libxml2");
        CheckXmlFile(named, documentType, findings, &progress);
    }
    else
        ReadFindings(file, nullptr, path, findings, omitted);
    return PrintFindings(path, findings, omitted, form, quiet, kCanCheckXml);
}
