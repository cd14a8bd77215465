// What `rizeroz check` finds in a document: the findings of the library's reader, and of
// a pass of libxml2 (XmlCheck.cpp) where the tool was built with it.
#ifndef RIZEROZ_TOOLS_XMLCHECK_H
#define RIZEROZ_TOOLS_XMLCHECK_H

#include <stddef.h>

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

// The document libxml2 reads, from its start, once for its parse and again to place what
// it found: a file by its descriptor (CheckXmlFile), or the bytes of an input that can be
// read only once, held by the tool (HeldInput.h).
class XmlInput
{
public:
    virtual ~XmlInput() {}
    // Goes to the document's start; false when it cannot be read.
    virtual bool Rewind() = 0;
    // Stores the next bytes, at most `capacity`, at `buffer`: their number, 0 at the end,
    // or -1 when reading fails.
    virtual long long Next(char* buffer, size_t capacity) = 0;
    // The document's size when it is known before it is read; 0 otherwise.
    virtual unsigned long long Length() const = 0;
    // True when the bytes end before the document does: libxml2 checks them, and what it
    // says of their early end is no finding. `why` is then what a warning at the place
    // where libxml2 stops says of it, or empty when nothing is said.
    virtual bool EndsEarly(std::string& why) const
    {
        why.clear();
        return false;
    }
};

// libxml2's findings on the document `input` gives, appended to `findings`: its
// well-formedness errors (exactly when libxml2 finds the document not well-formed), its
// other remarks as warnings, and, given `documentType` (the path of a document type file;
// empty for none), the document's validity against it, whatever the document names, as
// warnings, or a warning that it cannot be read. Nothing else is opened: no network, no
// external entity, no document type the document names. libxml2 is kept within the
// bounds of XmlBounds.h and stopped after 1000 remarks; a warning says where it stopped.
// `progress` (may be null) is told of the bytes libxml2 has been given.
class Progress;
void CheckXml(XmlInput& input, const std::string& documentType, std::vector<CheckFinding>& findings,
              Progress* progress);
// The same for the file at `path`, read by its descriptor: libxml2 opens nothing itself.
// Nothing is found when the file cannot be opened (the reader says why).
void CheckXmlFile(const std::string& path, const std::string& documentType, std::vector<CheckFinding>& findings,
                  Progress* progress);

#endif
