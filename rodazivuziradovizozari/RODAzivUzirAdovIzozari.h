// RODAzivUzirAdovIzozari: reads and writes RIZ Eroz data files.
//
// Reading:  construct, InitSvfPlusDataFile(name, dir, "read") (or InitSvfPlusDataPath(path,
//           "read") for a path as the caller names it), Read(), GetSVFPlusData();
//           with EnableWarnings() first, what the reader took leniently is listed too
//           (GetErrorHandler()->GetWarning(i), docs/warnings.md); with SetReadHook()
//           first, a hook is told of each row as it is complete and of the bytes read.
//           InitSvfPlusDataSource(source, name) in place of InitSvfPlusDataFile reads
//           the bytes a source gives (UtByteSource.h): a buffer, a function's.
// Writing:  construct, InitSvfPlusDataFile(name, dir, "write"), SetSVFPlusData(model),
//           optionally WriteExpression(true), Write().
//
// Paths use the backslash as separator. A file name holding ':' (or, on systems whose
// separator is '/', starting with '/') is a full path; any other name is appended to
// the default directory after one backslash.
//
// Including this header declares every type a caller uses with the handler.
#ifndef RIZEROZ_RODAZIVUZIRADOVIZOZARI_H
#define RIZEROZ_RODAZIVUZIRADOVIZOZARI_H

#include <stdio.h>
#include "RizErozExport.h"
#include "UtObject.h"
#include "UtByteBuffer.h"
#include "ErrorHandler.h"
#include "UtByteSource.h"
#include "XMLNode.h"
#include "XMLParser.h"
#include "SVFPlusData.h"
#include "ResultCodes.h"
#include "SVFReadTypes.h"

// The handler's state and its other steps, private to the library.
struct SVFHandlerState;
class SVFHandlerImpl;

// Element enumeration values stored on the parser's nodes.
enum
{
    SVF_TAG_ROOT = 1000,         // SVF_Plus_Data
    SVF_TAG_COMMENT = 1001,      // Comment
    SVF_TAG_DATA_FIELD = 1002,   // DataField
    SVF_TAG_FIELD_BLOCK = 1003   // FieldBlock
};

class RIZEROZ_API RODAzivUzirAdovIzozari : public XMLParser
{
public:
    RODAzivUzirAdovIzozari();
    // Copies are deep: the copy owns its own model and output name and holds no output
    // stream.
    RODAzivUzirAdovIzozari(const RODAzivUzirAdovIzozari& other);
    RODAzivUzirAdovIzozari& operator=(const RODAzivUzirAdovIzozari& other);
    // Releases the model and the output name; closes an output stream still open.
    ~RODAzivUzirAdovIzozari() override;

    // The parser's hooks: name the document's elements, and take the error list.
    int OnSetStartTag() override;
    int OnSetEndTag() override;
    int OnInitialize() override;

    // Opens `fileName` for reading, or for writing when `mode` is exactly "write" or
    // "WRITE". 0 (or the parser's non-negative result) on success, else a negative code.
    int InitSvfPlusDataFile(const char* fileName, const char* defaultDir, const char* mode);
    // The same for `path` as a caller names it: opened as it is (relative to the current
    // folder unless it is a full one; '\\' also separates folders), named so in reports,
    // warnings and GetSVFPlusDataFilename, with its folder as the default directory (the
    // current one for a name without a folder).
    int InitSvfPlusDataPath(const char* path, const char* mode);
    // Opens the document that `source` gives for reading (UtByteSource.h: a buffer read
    // in place, a function of the caller's, a file), named `name` in reports and
    // warnings. The caller keeps the source, and a buffer's bytes, unchanged until Read
    // is over. A null source or an empty name gives -112 (XML_ERR_BAD_ARGUMENT). A
    // source that fails fails Read, at the byte where it failed. A copy of the handler
    // holds no document to read.
    int InitSvfPlusDataSource(UtByteSource* source, const char* name);

    // Attaches a copy of `data` (the caller keeps `data`); null detaches the model.
    void SetSVFPlusData(SVFPlusData* data);
    // The handler's own model, or null; valid until the next open, SetSVFPlusData or
    // destruction.
    SVFPlusData* GetSVFPlusData();
    // The output path after a write-mode open, else the document's name.
    char* GetSVFPlusDataFilename();
    void WriteExpression(bool write);

    // Reads the document opened for reading. 0, or a negative code. Memory running out
    // gives SVF_ERR_NO_MEMORY (or XML_ERR_NO_MEMORY): nothing is thrown.
    int Read();
    // Read, for a caller that wants a model: a document whose root element is not
    // SVF_Plus_Data, which Read passes over whole and takes as read (0, no model), fails
    // with XML_ERR_NO_ROOT, reported with the sentence "the document has no SVF_Plus_Data
    // root element" (ErrorHandler::GetFailure). Every front end reads so.
    int ReadModel();
    // Writes the attached model to the output opened for writing and closes it. 0 once it
    // has begun, whatever reached the file (GetWriteError tells); -6 or -5 before that.
    int Write();

    // 0 when every byte of the last Write reached the file (every write, the flush and
    // the close succeeded); else the system's error number (errno) of the first failure,
    // also reported, with the path and the reason, on the list ERROR_LIST_OUTPUT.
    int GetWriteError() const;

    // Limits of later Reads; beyond one, Read fails with XML_ERR_TOO_LARGE,
    // SVF_ERR_ROW_TOO_LARGE or SVF_ERR_EXPRESSION_BUDGET. They survive opens.
    void SetReadLimits(const SVFReadLimits& limits);
    // The limits in force, defaults filled in (an expression budget of 0 follows the
    // document's size).
    SVFReadLimits GetReadLimits() const;

    // The hook later Reads tell (the caller keeps it); null, the default, for none. A
    // Read without a hook does exactly what it did before hooks. A copy has no hook.
    void SetReadHook(SVFReadHook* hook);

private:
    // The handler's other steps live in the library (HandlerImpl.h), so that they may
    // change without changing this header.
    friend class SVFHandlerImpl;

    int SetOutputFile(const char* path);
    // Room in the model's memory for `bytes` of rows of `field` in one run, made before
    // the rows of a block are read (friend of the model; the handler's steps are not).
    static void ExpectRowBytes(SVFDataField* field, size_t bytes);

    int ReadSVFPlusData(unsigned long parent);
    int ProcessStartTag(unsigned long parent);
    int AssignTagEnumValue(XMLNode* node);
    // Exported with the class as it always was, called by nothing: an end tag leaves the
    // element walk where it stands (`parent` is returned), and a hexadecimal digit is 1
    // for the parser's digits and 'A' to 'F' either case (the row machine has its own).
    int ProcessEndTag(unsigned long parent);
    int IsHexDigit(char c);

    SVFPlusData* m_pSVFPlusData;   // owned, or null
    FILE* m_fpOutput;              // open output stream, or null
    char* m_pszOutputFilename;     // owned output path, or null
    bool m_bWriteExpression;
    // Owned: everything else the handler keeps (HandlerState.h), out of this header so
    // that what the reader keeps may change without changing the class's layout.
    SVFHandlerState* m_pState;
};

#endif
