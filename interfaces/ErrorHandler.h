// ErrorHandler: the reports a parser (or the handler built on it) has recorded.
//
// Every failure that is reported becomes an ErrorReport: its code, the list it was
// reported under, the text passed with it (usually a file name) and one readable
// sentence with the file, line and column where known, what went wrong, and the code.
#ifndef RIZEROZ_ERRORHANDLER_H
#define RIZEROZ_ERRORHANDLER_H

#include "RizErozExport.h"

// Lists a report can be filed under.
enum
{
    ERROR_LIST_XML_PARSER = 1,   // the XML parser base
    ERROR_LIST_DATA_FILE = 5,    // the RIZ Eroz data file handler
    ERROR_LIST_OUTPUT = 6        // files written: a Write that lost bytes, a safe save that failed
};

class RIZEROZ_API ErrorReport
{
public:
    ErrorReport();
    ErrorReport(int code, unsigned long list, const char* text, const char* message);
    ErrorReport(const ErrorReport& other);
    ErrorReport& operator=(const ErrorReport& other);
    ~ErrorReport();

    int GetCode() const { return m_nCode; }
    unsigned long GetList() const { return m_nList; }
    // The text passed with the report; never null (empty when none was passed).
    const char* GetText() const { return m_pszText; }
    // The readable sentence; never null.
    const char* GetMessage() const { return m_pszMessage; }

private:
    int m_nCode;
    unsigned long m_nList;
    char* m_pszText;      // owned
    char* m_pszMessage;   // owned
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
    int AddReport(int code, unsigned long list, const char* text, const char* file,
                  long line, long column, const char* detail);

    int GetReportCount() const;
    // The report at `index` (from 0, oldest first), or null outside the range.
    const ErrorReport* GetReport(int index) const;
    // The most recent report, or null when there is none.
    const ErrorReport* GetLastReport() const;
    void ClearReports();

    // What a result code means, in words ("a row breaks the hexadecimal row syntax").
    // Never null; an unknown code gives a general text.
    static const char* DescribeCode(int code);

private:
    int Record(int code, unsigned long list, const char* text, const char* file, long line, long column,
               const char* detail);

    ErrorReport* m_pReports;   // owned array of m_nReportSlots
    int m_nReportCount;
    int m_nReportSlots;
};

#endif
