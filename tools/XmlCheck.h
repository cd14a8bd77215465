// What `rizeroz check` finds in a document: the findings of the library's reader, and of
// a pass of libxml2 (XmlCheck.cpp) where the tool was built with it.
#ifndef RIZEROZ_TOOLS_XMLCHECK_H
#define RIZEROZ_TOOLS_XMLCHECK_H

#include <string>
#include <vector>

struct CheckFinding
{
    bool bError = false;
    std::string source;      // "xml" (well-formedness), "dtd" (validity) or "reader"
    bool bHasCode = false;   // the library's result or warning code, for the reader's findings
    int nCode = 0;
    long nLine = 0;   // from 1; 0 where the finding has no place
    long nColumn = 0;
    std::string message;   // one sentence, without the place

    CheckFinding(bool error, const char* from, const std::string& sentence, long line = 0, long column = 0)
        : bError(error), source(from), nLine(line), nColumn(column), message(sentence)
    {
    }
    // The finding with the library's code.
    CheckFinding& WithCode(int code)
    {
        bHasCode = true;
        nCode = code;
        return *this;
    }
};

// True when this build has the libxml2 pass (not the Windows build: Debian has no
// libxml2 for Windows).
#if defined(RIZEROZ_HAVE_LIBXML2)
const bool kCanCheckXml = true;
#else
const bool kCanCheckXml = false;
#endif

// libxml2's findings on the document at `path`, appended to `findings`: its
// well-formedness errors (exactly when libxml2 finds the document not well-formed), its
// other remarks as warnings, and, given `documentType` (the path of a document type file;
// empty for none), the document's validity against it, whatever the document names, as
// warnings, or a warning that it cannot be read. Nothing else is opened: no network, no
// external entity, no document type the document names. libxml2 is kept within the
// bounds of XmlBounds.h and stopped after 1000 remarks; a warning says where it stopped.
// `progress` (may be null) is told of the bytes libxml2 has been given.
class Progress;
void CheckXml(const std::string& path, const std::string& documentType, std::vector<CheckFinding>& findings,
              Progress* progress);

#endif
