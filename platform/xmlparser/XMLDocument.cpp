// The parser's open document: a file by its path or a caller's byte source, handed to the
// window; closing it, and the scan begun afresh.
#include "XMLParserState.h"

#include <string.h>

#include "ErrorHandler.h"

int XMLParserState::OpenDocument(const char* path, ErrorHandler* errors)
{
    CloseDocument();
    int opened = window.OpenFile(path, errors);
    if (opened < 0)
        return opened;

    // Read the first window now: a path that opens but cannot be read (a directory on
    // some systems) fails here rather than in the middle of scanning.
    Fill(0);
    if (window.ReadErrno() != 0)
    {
        int reason = window.ReadErrno();
        unsigned long long at = window.Start() + window.End();
        CloseDocument();
        errors->AddSystemFailure(XML_ERR_READ, ERROR_LIST_XML_PARSER, path, reason, (long long)at);
        return XML_ERR_READ;
    }
    return 0;
}

int XMLParserState::OpenSource(UtByteSource* source, const char* name, ErrorHandler* errors)
{
    CloseDocument();
    return window.Open(source, name, errors);
}

void XMLParserState::CloseDocument()
{
    window.Close();
    ResetScan();
}

void XMLParserState::ResetScan()
{
    nPos = 0;
    locator = XMLLocator();
    failure = XMLFailure();
    elements = XMLElementStack();
    scan = XMLScanProgress();
    ForgetLent();
}
