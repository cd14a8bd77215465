// ErrorHandler: the reports a parser (or the handler built on it) has recorded.
//
// Every failure that is reported becomes an ErrorReport: its code, the list it was
// reported under, the text passed with it (the name shown: the path as the caller gave
// it, or a source's name such as "<memory>"), the system's errno and the byte offset in
// the document where there are such, and one readable sentence with the file, line and
// column where known, what went wrong, and the code. A failure is recorded once where it
// arises; the report a caller shows is GetFailure's. Warnings of a read (ReadWarnings.h)
// are ErrorReports too, kept on a list of their own.
#ifndef RIZEROZ_ERRORHANDLER_H
#define RIZEROZ_ERRORHANDLER_H

#include "RizErozExport.h"
#include "ReadWarnings.h"
#include "ResultCodes.h"

// Lists a report can be filed under.
enum
{
    ERROR_LIST_XML_PARSER = 1,   // the XML parser base
    ERROR_LIST_DATA_FILE = 5,    // the RIZ Eroz data file handler
    ERROR_LIST_OUTPUT = 6,       // files written: a Write that lost bytes, a safe save that failed
    ERROR_LIST_WARNINGS = 7      // what a read took leniently, when warnings are enabled
};

class RIZEROZ_API ErrorReport
{
public:
    ErrorReport();
    ErrorReport(int code, unsigned long list, const char* text, const char* message);
    // With the place (line and column from 1; 0 when not known) and the sentence alone.
    ErrorReport(int code, unsigned long list, const char* text, const char* message, long line, long column,
                const char* sentence);
    // With the system's errno of the failure (0 when none) and the byte offset in the
    // document where it arose (-1 when not known).
    ErrorReport(int code, unsigned long list, const char* text, const char* message, long line, long column,
                const char* sentence, int error, long long offset);
    ErrorReport(const ErrorReport& other);
    ErrorReport& operator=(const ErrorReport& other);
    ~ErrorReport();

    int GetCode() const { return m_nCode; }
    unsigned long GetList() const { return m_nList; }
    // The text passed with the report; never null (empty when none was passed).
    const char* GetText() const { return m_pszText; }
    // The readable sentence; never null.
    const char* GetMessage() const { return m_pszMessage; }
    // Where in the document, from 1; 0 when not known.
    long GetLine() const { return m_nLine; }
    long GetColumn() const { return m_nColumn; }
    // What went wrong, without the place and the code ("an end tag does not match the
    // open element (...)"); never null.
    const char* GetSentence() const { return m_pszSentence; }
    // The system's error number (errno) of the failure: a file that does not open, a read
    // or a write that fails; 0 when the system gave no reason.
    int GetErrno() const { return m_nErrno; }
    // The byte offset (from 0) in the document where the failure arose: the byte a read
    // failed at, the character a parser error or warning stands at, the first byte of the
    // piece a sink did not take; -1 when not known (a file that does not open, a file
    // written through a stream, whose buffers may have lost earlier bytes).
    long long GetOffset() const { return m_nOffset; }

private:
    int m_nCode;
    unsigned long m_nList;
    char* m_pszText;      // owned
    char* m_pszMessage;   // owned
    long m_nLine;
    long m_nColumn;
    char* m_pszSentence;   // owned
    // Added after the fields above, which the inline accessors of earlier builds read.
    int m_nErrno;
    long long m_nOffset;
};

class RIZEROZ_API ErrorHandler
{
public:
    ErrorHandler();
    ErrorHandler(const ErrorHandler& other);
    ErrorHandler& operator=(const ErrorHandler& other);
    virtual ~ErrorHandler();

    // Makes `list` ready to take reports. Returns the number of reports already on it,
    // or a negative code for a list number that is not defined above.
    int GetErrorList(int list);

    // Records a report. `text` is what the caller passed (a file name, usually);
    // `file`, `line` and `column` place the failure in a document where known
    // (null file, or a line of 0, when not); `detail` adds words of the failure's own,
    // such as the system's reason for a failed open. Returns the report's index, or -1
    // when memory for the report cannot be had (nothing is thrown).
    int AddReport(int code, unsigned long list, const char* text, const char* file, long line, long column,
                  const char* detail);
    // The same with a sentence of the caller's own in place of the code's meaning and
    // the detail ("row 2 of block 0 of field "A" breaks the row syntax: ...").
    int AddReportSentence(int code, unsigned long list, const char* text, const char* file, long line, long column,
                          const char* sentence);
    // The two above with the system's errno of the failure (0 when none) and the byte
    // offset in the document where it arose (-1 when not known).
    int AddReport(int code, unsigned long list, const char* text, const char* file, long line, long column,
                  const char* detail, int error, long long offset);
    int AddReportSentence(int code, unsigned long list, const char* text, const char* file, long line, long column,
                          const char* sentence, int error, long long offset);
    // The report of a document named `path` that the system could not open (`code`
    // XML_ERR_OPEN) or read (XML_ERR_READ) for the errno `reason`: the reason in the
    // system's words as the detail, or, with no reason known (0 or less), "the file cannot
    // be opened". `offset` is where a read failed (-1 when not known).
    int AddSystemFailure(int code, unsigned long list, const char* path, int reason, long long offset);
    // A report that a level above adds for the failure reported last, as it passes the
    // failure on (the handler's enclosing elements, on list 5): worded as AddReportSentence
    // words it, with the failure's errno and offset, and GetFailure still gives the report
    // where the failure arose.
    int AddRepeatedReport(int code, unsigned long list, const char* text, const char* file, long line, long column,
                          const char* sentence);
    // The report where the latest failure arose, the one record of it (its code, errno,
    // offset, place, name shown and sentence): what a caller shows, without looking
    // through the list. Null when no failure has been reported since ClearReports (or
    // memory for its report ran out).
    const ErrorReport* GetFailure() const;

    int GetReportCount() const;
    // The report at `index` (from 0, oldest first), or null outside the range.
    const ErrorReport* GetReport(int index) const;
    // The most recent report, or null when there is none.
    const ErrorReport* GetLastReport() const;
    void ClearReports();

    // What a result code means, in words ("a row breaks the hexadecimal row syntax"), and
    // its name ("SVF_ERR_MODEL"), from ResultCodes.h. Never null; an unknown code gives a
    // general text and the empty name.
    static const char* DescribeCode(int code);
    static const char* GetCodeName(int code);

    // Warnings, on a list of their own (ERROR_LIST_WARNINGS): the first WARNINGS_KEPT
    // are kept in full, later ones only counted. `sentence` names what the reader did and
    // where; the report's message adds the file, the place and the code. Returns the
    // warning's index, or -1 when it was only counted (or memory for it ran out).
    int AddWarning(int code, const char* file, long line, long column, const char* sentence);
    // The same with the byte offset in the document where the warning stands (-1 when not known).
    int AddWarning(int code, const char* file, long line, long column, const char* sentence, long long offset);
    // True while a further warning would be kept in full: callers may skip composing one
    // that would only be counted, and count it with CountWarning.
    bool KeepsWarnings() const { return m_nWarningCount < WARNINGS_KEPT; }
    void CountWarning() { ++m_nOmittedWarnings; }
    int GetWarningCount() const { return m_nWarningCount; }
    // Warning `index` (from 0, in the order found), or null outside the range.
    const ErrorReport* GetWarning(int index) const;
    // Warnings found beyond the first WARNINGS_KEPT.
    long long GetOmittedWarningCount() const { return m_nOmittedWarnings; }
    // The sentence and the name ("SVF_WARN_NO_NAME") of a warning kind; never null.
    static const char* DescribeWarning(int code);
    static const char* GetWarningName(int code);

private:
    // What Record makes a report of, besides its code, list and text.
    struct Cause;
    int Record(int code, unsigned long list, const char* text, const Cause& cause, bool origin);

    ErrorReport* m_pReports;   // owned array of m_nReportSlots
    int m_nReportCount;
    int m_nReportSlots;
    ErrorReport* m_pWarnings;   // owned array of m_nWarningSlots
    int m_nWarningCount;
    int m_nWarningSlots;
    long long m_nOmittedWarnings;
    // Added after the fields above: the index of GetFailure's report, -1 for none.
    int m_nFailure;
};

#endif
