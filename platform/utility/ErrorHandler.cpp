// ErrorHandler: the failure reports a parser, or the handler built on it, records, and
// the warnings of a read. Each report keeps its code, its list, the caller's text, its
// place and one readable sentence built from the place, the meaning of its code (or a
// sentence of the caller's) and the code itself.
#include "ErrorHandler.h"
#include "UtUtility.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <new>
#include <string>

namespace
{
// The parser's result code for an error list number that is not defined.
const int kUnknownListCode = -114;

// A result code or a warning kind: its code, name and sentence (ResultCodes.h,
// ReadWarnings.h).
struct CodeEntry
{
    int nCode;
    const char* pszName;
    const char* pszSentence;
};

#define RIZEROZ_CODE_ENTRY(code, name, sentence) {code, #name, sentence},
#define RIZEROZ_WARNING_ENTRY(code, name, sentence, pattern) {code, #name, sentence},
const CodeEntry g_resultCodes[] = {RIZEROZ_RESULTS(RIZEROZ_CODE_ENTRY)};
const CodeEntry g_warningKinds[] = {RIZEROZ_READ_WARNINGS(RIZEROZ_WARNING_ENTRY)};
#undef RIZEROZ_CODE_ENTRY
#undef RIZEROZ_WARNING_ENTRY

template <size_t count>
const CodeEntry* FindCode(const CodeEntry (&table)[count], int code)
{
    for (const CodeEntry& entry : table)
        if (entry.nCode == code)
            return &entry;
    return nullptr;
}

const char g_szUnknownFailure[] = "an unknown failure";

// A report's texts are never null: the empty text stands for none.
char* CopyText(const char* text)
{
    return util_CopyTextOrThrow(text != nullptr ? text : "");
}

bool HasText(const char* text)
{
    return text != nullptr && text[0] != 0;
}

// Where a report points, as editors read it: "FILE:LINE:COLUMN: KIND: " (column 1 when
// only the line is known, "FILE: KIND: " when neither is), else "TEXT: " for the
// caller's text, else empty.
std::string PlaceOf(const char* text, const char* file, long line, long column, const char* kind)
{
    if (!HasText(file))
        return HasText(text) ? std::string(text) + ": " : std::string();
    std::string place = file;
    if (line > 0)
    {
        char where[64];
        snprintf(where, sizeof(where), ":%ld:%ld", line, column > 0 ? column : 1L);
        place += where;
    }
    return place + ": " + kind + ": ";
}

// The message of a report: "PLACE WHAT (KIND CODE)." with WHAT capitalised when there is
// no place; `kind` is "error" or "warning".
std::string MessageOf(const std::string& place, const std::string& what, const char* kind, int code)
{
    std::string message = place + what;
    if (place.empty() && !message.empty())
        message[0] = (char)toupper((unsigned char)message[0]);
    char codeText[40];
    snprintf(codeText, sizeof(codeText), " (%s %d).", kind, code);
    return message + codeText;
}

// Grows `array` (of `slots`, `count` used) to hold one more.
void MakeRoom(ErrorReport*& array, int count, int& slots)
{
    if (count < slots)
        return;
    int grown = slots > 0 ? slots * 2 : 8;
    ErrorReport* larger = new ErrorReport[grown];
    for (int i = 0; i < count; ++i)
        larger[i] = array[i];
    delete[] array;
    array = larger;
    slots = grown;
}

ErrorReport* CopyReports(const ErrorReport* reports, int count)
{
    if (count == 0)
        return nullptr;
    ErrorReport* copy = new ErrorReport[count];
    for (int i = 0; i < count; ++i)
        copy[i] = reports[i];
    return copy;
}
}

// ---------------------------------------------------------------------------------
// ErrorReport

ErrorReport::ErrorReport()
    : m_nCode(0), m_nList(0), m_pszText(CopyText(nullptr)), m_pszMessage(CopyText(nullptr)), m_nLine(0), m_nColumn(0),
      m_pszSentence(CopyText(nullptr)), m_nErrno(0), m_nOffset(-1)
{
}

ErrorReport::ErrorReport(int code, unsigned long list, const char* text, const char* message)
    : m_nCode(code), m_nList(list), m_pszText(CopyText(text)), m_pszMessage(CopyText(message)), m_nLine(0),
      m_nColumn(0), m_pszSentence(CopyText(message)), m_nErrno(0), m_nOffset(-1)
{
}

ErrorReport::ErrorReport(int code, unsigned long list, const char* text, const char* message, long line, long column,
                         const char* sentence)
    : ErrorReport(code, list, text, message, line, column, sentence, 0, -1)
{
}

ErrorReport::ErrorReport(int code, unsigned long list, const char* text, const char* message, long line, long column,
                         const char* sentence, int error, long long offset)
    : m_nCode(code), m_nList(list), m_pszText(CopyText(text)), m_pszMessage(CopyText(message)), m_nLine(line),
      m_nColumn(column), m_pszSentence(CopyText(sentence)), m_nErrno(error), m_nOffset(offset)
{
}

ErrorReport::ErrorReport(const ErrorReport& other)
    : m_nCode(other.m_nCode), m_nList(other.m_nList), m_pszText(CopyText(other.m_pszText)),
      m_pszMessage(CopyText(other.m_pszMessage)), m_nLine(other.m_nLine), m_nColumn(other.m_nColumn),
      m_pszSentence(CopyText(other.m_pszSentence)), m_nErrno(other.m_nErrno), m_nOffset(other.m_nOffset)
{
}

ErrorReport& ErrorReport::operator=(const ErrorReport& other)
{
    if (this != &other)
    {
        char* text = CopyText(other.m_pszText);
        char* message = CopyText(other.m_pszMessage);
        char* sentence = nullptr;
        try
        {
            sentence = CopyText(other.m_pszSentence);
        }
        catch (...)
        {
            delete[] text;
            delete[] message;
            throw;
        }
        delete[] m_pszText;
        delete[] m_pszMessage;
        delete[] m_pszSentence;
        m_pszText = text;
        m_pszMessage = message;
        m_pszSentence = sentence;
        m_nCode = other.m_nCode;
        m_nList = other.m_nList;
        m_nLine = other.m_nLine;
        m_nColumn = other.m_nColumn;
        m_nErrno = other.m_nErrno;
        m_nOffset = other.m_nOffset;
    }
    return *this;
}

ErrorReport::~ErrorReport()
{
    delete[] m_pszText;
    delete[] m_pszMessage;
    delete[] m_pszSentence;
}

// ---------------------------------------------------------------------------------
// ErrorHandler

ErrorHandler::ErrorHandler()
    : m_pReports(nullptr), m_nReportCount(0), m_nReportSlots(0), m_pWarnings(nullptr), m_nWarningCount(0),
      m_nWarningSlots(0), m_nOmittedWarnings(0), m_nFailure(-1)
{
}

ErrorHandler::ErrorHandler(const ErrorHandler& other)
    : m_pReports(nullptr), m_nReportCount(0), m_nReportSlots(0), m_pWarnings(nullptr), m_nWarningCount(0),
      m_nWarningSlots(0), m_nOmittedWarnings(0), m_nFailure(-1)
{
    *this = other;
}

ErrorHandler& ErrorHandler::operator=(const ErrorHandler& other)
{
    if (this == &other)
        return *this;
    ErrorReport* reports = CopyReports(other.m_pReports, other.m_nReportCount);
    ErrorReport* warnings = nullptr;
    try
    {
        warnings = CopyReports(other.m_pWarnings, other.m_nWarningCount);
    }
    catch (...)
    {
        delete[] reports;
        throw;
    }
    delete[] m_pReports;
    m_pReports = reports;
    m_nReportCount = other.m_nReportCount;
    m_nReportSlots = other.m_nReportCount;
    delete[] m_pWarnings;
    m_pWarnings = warnings;
    m_nWarningCount = other.m_nWarningCount;
    m_nWarningSlots = other.m_nWarningCount;
    m_nOmittedWarnings = other.m_nOmittedWarnings;
    m_nFailure = other.m_nFailure;
    return *this;
}

ErrorHandler::~ErrorHandler()
{
    delete[] m_pReports;
    delete[] m_pWarnings;
}

int ErrorHandler::GetErrorList(int list)
{
    if (list == ERROR_LIST_WARNINGS)
        return m_nWarningCount;
    if (list != ERROR_LIST_XML_PARSER && list != ERROR_LIST_DATA_FILE && list != ERROR_LIST_OUTPUT)
        return kUnknownListCode;
    int count = 0;
    for (int i = 0; i < m_nReportCount; ++i)
        if (m_pReports[i].GetList() == (unsigned long)list)
            ++count;
    return count;
}

// What a report is made of besides its code, list and text: where it stands, what went
// wrong (`what`, and `detail` in parentheses after it) and its cause.
struct ErrorHandler::Cause
{
    const char* file;
    long line;
    long column;
    const char* what;
    const char* detail;
    int error;
    long long offset;
};

int ErrorHandler::AddReport(int code, unsigned long list, const char* text, const char* file, long line, long column,
                            const char* detail)
{
    return AddReport(code, list, text, file, line, column, detail, 0, -1);
}

int ErrorHandler::AddReportSentence(int code, unsigned long list, const char* text, const char* file, long line,
                                    long column, const char* sentence)
{
    return AddReportSentence(code, list, text, file, line, column, sentence, 0, -1);
}

int ErrorHandler::AddReport(int code, unsigned long list, const char* text, const char* file, long line, long column,
                            const char* detail, int error, long long offset)
{
    return Record(code, list, text, Cause{file, line, column, DescribeCode(code), detail, error, offset}, true);
}

int ErrorHandler::AddReportSentence(int code, unsigned long list, const char* text, const char* file, long line,
                                    long column, const char* sentence, int error, long long offset)
{
    const char* what = HasText(sentence) ? sentence : DescribeCode(code);
    return Record(code, list, text, Cause{file, line, column, what, nullptr, error, offset}, true);
}

int ErrorHandler::AddSystemFailure(int code, unsigned long list, const char* path, int reason, long long offset)
{
    const char* detail = reason > 0 ? strerror(reason) : "the file cannot be opened";
    return AddReport(code, list, path, path, 0, 0, detail, reason > 0 ? reason : 0, offset);
}

int ErrorHandler::AddRepeatedReport(int code, unsigned long list, const char* text, const char* file, long line,
                                    long column, const char* sentence)
{
    const ErrorReport* failure = GetFailure();
    const char* what = HasText(sentence) ? sentence : DescribeCode(code);
    return Record(code, list, text,
                  Cause{file, line, column, what, nullptr, failure != nullptr ? failure->GetErrno() : 0,
                        failure != nullptr ? failure->GetOffset() : -1},
                  false);
}

int ErrorHandler::Record(int code, unsigned long list, const char* text, const Cause& cause, bool origin)
{
    // A report is what a failure leaves behind: running out of memory while making one
    // must not turn into a failure of its own.
    try
    {
        std::string sentence = cause.what;
        if (HasText(cause.detail))
        {
            sentence += " (";
            sentence += cause.detail;
            sentence += ")";
        }
        std::string message =
            MessageOf(PlaceOf(text, cause.file, cause.line, cause.column, "error"), sentence, "error", code);
        bool placed = HasText(cause.file) && cause.line > 0;
        MakeRoom(m_pReports, m_nReportCount, m_nReportSlots);
        m_pReports[m_nReportCount] =
            ErrorReport(code, list, text, message.c_str(), placed ? cause.line : 0, placed ? cause.column : 0,
                        sentence.c_str(), cause.error, cause.offset);
    }
    catch (const std::bad_alloc&)
    {
        if (origin)
            m_nFailure = -1;   // no report stands for a failure that has none
        return -1;
    }
    if (origin)
        m_nFailure = m_nReportCount;
    return m_nReportCount++;
}

const ErrorReport* ErrorHandler::GetFailure() const
{
    return m_nFailure >= 0 && m_nFailure < m_nReportCount ? &m_pReports[m_nFailure] : nullptr;
}

int ErrorHandler::GetReportCount() const
{
    return m_nReportCount;
}

const ErrorReport* ErrorHandler::GetReport(int index) const
{
    if (index < 0 || index >= m_nReportCount)
        return nullptr;
    return &m_pReports[index];
}

const ErrorReport* ErrorHandler::GetLastReport() const
{
    return m_nReportCount > 0 ? &m_pReports[m_nReportCount - 1] : nullptr;
}

void ErrorHandler::ClearReports()
{
    delete[] m_pReports;
    m_pReports = nullptr;
    m_nReportCount = 0;
    m_nReportSlots = 0;
    m_nFailure = -1;
    delete[] m_pWarnings;
    m_pWarnings = nullptr;
    m_nWarningCount = 0;
    m_nWarningSlots = 0;
    m_nOmittedWarnings = 0;
}

const char* ErrorHandler::DescribeCode(int code)
{
    const CodeEntry* entry = FindCode(g_resultCodes, code);
    return entry != nullptr ? entry->pszSentence : g_szUnknownFailure;
}

const char* ErrorHandler::GetCodeName(int code)
{
    const CodeEntry* entry = FindCode(g_resultCodes, code);
    return entry != nullptr ? entry->pszName : "";
}

int ErrorHandler::AddWarning(int code, const char* file, long line, long column, const char* sentence)
{
    return AddWarning(code, file, line, column, sentence, -1);
}

int ErrorHandler::AddWarning(int code, const char* file, long line, long column, const char* sentence, long long offset)
{
    if (!KeepsWarnings())
    {
        CountWarning();
        return -1;
    }
    try
    {
        const char* what = HasText(sentence) ? sentence : DescribeWarning(code);
        std::string message = MessageOf(PlaceOf(file, file, line, column, "warning"), what, "warning", code);
        MakeRoom(m_pWarnings, m_nWarningCount, m_nWarningSlots);
        m_pWarnings[m_nWarningCount] =
            ErrorReport(code, ERROR_LIST_WARNINGS, file, message.c_str(), line, column, what, 0, offset);
        return m_nWarningCount++;
    }
    catch (const std::bad_alloc&)
    {
        CountWarning();
        return -1;
    }
}

const ErrorReport* ErrorHandler::GetWarning(int index) const
{
    if (index < 0 || index >= m_nWarningCount)
        return nullptr;
    return &m_pWarnings[index];
}

const char* ErrorHandler::DescribeWarning(int code)
{
    const CodeEntry* kind = FindCode(g_warningKinds, code);
    return kind != nullptr ? kind->pszSentence : "an unknown warning";
}

const char* ErrorHandler::GetWarningName(int code)
{
    const CodeEntry* kind = FindCode(g_warningKinds, code);
    return kind != nullptr ? kind->pszName : "";
}
