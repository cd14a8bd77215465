// RODAzivUzirAdovIzozari: reads and writes RIZ Eroz data files.
//
// Reading:  construct, InitSvfPlusDataFile(name, dir, "read"), Read(), GetSVFPlusData().
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
#include "XMLNode.h"
#include "XMLParser.h"
#include "SVFPlusData.h"

// Result codes of the handler (failures are negative; see docs/error-codes.md).
enum
{
    SVF_ERR_MODEL = -1,          // a second root element, or a row that breaks the hexadecimal syntax
    SVF_ERR_NO_FIELD = -2,       // no new data field, or a field block without a data field
    SVF_ERR_NESTING = -3,        // a field block that is not directly inside a data field
    SVF_ERR_NO_ROW = -4,         // the data field gave no new row
    SVF_ERR_OUTPUT = -5,         // the output path is empty, the output file does not open, or no output is open
    SVF_ERR_NO_DATA = -6,        // nothing to write: no data model is attached
    SVF_ERR_NO_MODEL = -7,       // an element that needs a data model came before the root element
    SVF_ERR_SKIP = -29,          // the parser reported an element to skip but holds no start or empty tag
    SVF_ERR_UNKNOWN_TAG = -38    // the tag hooks' result for a name that is no document element
};

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
    virtual ~RODAzivUzirAdovIzozari();

    virtual int OnSetStartTag();
    virtual int OnSetEndTag();
    virtual int OnInitialize();

    // Opens `fileName` for reading, or for writing when `mode` is exactly "write" or
    // "WRITE". 0 (or the parser's non-negative result) on success, else a negative code.
    int InitSvfPlusDataFile(const char* fileName, const char* defaultDir, const char* mode);

    // Attaches a copy of `data` (the caller keeps `data`); null detaches the model.
    void SetSVFPlusData(SVFPlusData* data);
    // The handler's own model, or null; valid until the next open, SetSVFPlusData or
    // destruction.
    SVFPlusData* GetSVFPlusData();
    // The output path after a write-mode open, else the document's name.
    char* GetSVFPlusDataFilename();
    void WriteExpression(bool write);

    int Read();
    int Write();

private:
    int SetOutputFile(const char* path);

    int ReadSVFPlusData(unsigned long parent);
    int ProcessStartTag(unsigned long parent);
    int ProcessEndTag(unsigned long parent);
    int AssignTagEnumValue(XMLNode* node);
    int IsHexDigit(char c);
    int ProcessFieldBlock(unsigned long parent, unsigned int size);

    void CopyMembers(const RODAzivUzirAdovIzozari& other);

    SVFPlusData* m_pSVFPlusData;    // owned, or null
    FILE* m_fpOutput;               // open output stream, or null
    char* m_pszOutputFilename;      // owned output path, or null
    bool m_bWriteExpression;
};

#endif
