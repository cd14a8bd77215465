// The data model: SVFPlusData holds a version, an optional comment and an ordered list
// of data fields; each SVFDataField holds a name, a checksum and an ordered list of
// field blocks; each SVFDataField::DataBlock holds rows of bytes of one width in bits.
//
// Every object owns what it holds; copies are deep. Texts are copied on the way in.
// Copies are whole or nothing: a copy (construction or assignment) that memory cannot
// hold whole leaves the target as it was, so a copy constructed then is empty.
//
// The rows of a model, and their bytes, are kept in large regions of memory that its
// fields and blocks share (an arena), not in two heap blocks per row; releasing rows gives
// their regions back once nothing else is in them.
#ifndef RIZEROZ_SVFPLUSDATA_H
#define RIZEROZ_SVFPLUSDATA_H

#include <stddef.h>

#include "RizErozExport.h"
#include "UtObject.h"
#include "UtByteBuffer.h"

class RODAzivUzirAdovIzozari;
class UtByteArena;

class RIZEROZ_API SVFDataField
{
public:
    class RIZEROZ_API DataBlock
    {
    public:
        explicit DataBlock(int rowWidth = 0);
        DataBlock(const DataBlock& other);
        DataBlock& operator=(const DataBlock& other);
        ~DataBlock();

        // Width of every row of the block, in bits. Kept as the first member.
        int m_nRowWidth;

        int GetNumberOfRows();
        // The buffer of row `row`, numbered from 1; null outside 1..GetNumberOfRows().
        UtByteBuffer* GetRow(int row);
        // Appends an empty row; the block owns it. The row takes memory as its bytes
        // arrive, however wide m_nRowWidth is. Null when memory runs out.
        UtByteBuffer* AddRow();
        // True while a writer holds the block's model (SVFPlusData::Hold).
        bool IsHeld() const;

    private:
        friend class SVFDataField;
        // A block whose rows go to `arena` (shared); null: an arena of its own, once needed.
        DataBlock(int rowWidth, UtByteArena* arena);
        UtByteArena* Arena();
        // Adds the rows, and the bytes they hold, to the counts: what a copy makes.
        void CountRows(size_t& rows, size_t& bytes) const;
        // Assignment; with `expect`, the arena first makes room for the copied rows.
        void Assign(const DataBlock& other, bool expect);

        UtByteBuffer** m_ppRows;   // owned rows, made by the arena
        int m_nRowCount;
        int m_nRowSlots;
        UtByteArena* m_pArena;   // counted reference, or null before the first row
    };

    SVFDataField();
    SVFDataField(const SVFDataField& other);
    SVFDataField& operator=(const SVFDataField& other);
    ~SVFDataField();

    // The field keeps its own copy; null leaves the field without a name.
    void SetFieldName(const char* name);
    // The name, or null when none was set.
    char* GetFieldName();

    // Appends an empty row of `rowWidth` bits: to the last block when that block has
    // the same width, else to a new block. Returns the row's buffer, owned by the field.
    UtByteBuffer* AddRow(int rowWidth);
    // Always starts a new, empty block of `rowWidth` bits and returns it.
    DataBlock* AddFieldBlock(int rowWidth);

    int GetFieldBlockCount();
    // Block `index` (from 0), or null outside the range.
    DataBlock* GetDataBlock(int index);

    // True while a writer holds the field's model (SVFPlusData::Hold).
    bool IsHeld() const;

    // The field's 16-bit checksum; 0 means the field has none.
    unsigned int m_nChecksum;

private:
    friend class RODAzivUzirAdovIzozari;
    friend class SVFPlusData;
    // A field whose blocks share `arena`; null: an arena of its own, once needed.
    explicit SVFDataField(UtByteArena* arena);
    DataBlock* GetFieldBlock(int index);
    UtByteArena* Arena();
    void CountRows(size_t& rows, size_t& bytes) const;
    void Assign(const SVFDataField& other, bool expect);

    char* m_pszFieldName;     // owned, or null
    DataBlock** m_ppBlocks;   // owned blocks
    int m_nBlockCount;
    int m_nBlockSlots;
    UtByteArena* m_pArena;   // counted reference, or null before the first block
};

class RIZEROZ_API SVFPlusData : public UtObject
{
public:
    SVFPlusData();
    // A deep copy of `source`; a null source gives an empty model.
    SVFPlusData(SVFPlusData* source);
    SVFPlusData(const SVFPlusData& other);
    SVFPlusData& operator=(const SVFPlusData& other);
    virtual ~SVFPlusData();

    // Exchanges everything the two models hold; nothing is copied.
    void Swap(SVFPlusData& other);

    // The model keeps its own copy (null: no version). Returns the stored text.
    char* SetVersion(const char* version);
    char* GetVersion();

    // The model keeps its own copy; null leaves the model without a comment.
    void SetComment(const char* comment);
    // The same for the `length` bytes at `text`, which need not end in a NUL.
    void SetComment(const char* text, size_t length);
    const char* GetComment() const;

    // Appends a new, empty field and returns it; the model owns it.
    SVFDataField* AddDataField();
    int GetDataFieldCount() const;
    // Field `index` (from 0), or null outside the range.
    SVFDataField* GetDataField(int index) const;

    // A writer holds the model while it writes it, so that code of the caller's that runs
    // meanwhile (a sink's) is refused a change that would pull the text from under the
    // writer: the model itself does not refuse, the C interface does. Holds are counted;
    // Hold gives false when memory runs out. IsHeld tells it for the model, and each field
    // and block tells it for itself.
    bool Hold();
    void Unhold();
    bool IsHeld() const;

private:
    void CopyFrom(const SVFPlusData& other);
    void Release();

    UtByteArena* Arena();

    char* m_pszVersion;          // owned, or null
    char* m_pszComment;          // owned, or null
    SVFDataField** m_ppFields;   // owned fields
    int m_nFieldCount;
    int m_nFieldSlots;
    UtByteArena* m_pArena;   // shared with the fields (counted), or null before the first field
};

#endif
