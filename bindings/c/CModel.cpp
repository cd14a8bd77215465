// Walking, building and changing a data model through the C interface.
#include "CApi.h"

#include <limits.h>
#include <string.h>

namespace
{
// A text setter's result: the model copies texts and, without memory for the copy, is
// left with none.
int TextStored(const char* wanted, const char* stored)
{
    return wanted != nullptr && stored == nullptr ? RZ_ERR_MEMORY : RZ_OK;
}

// Appends a row of `length` bytes to `block`. The row is sized for exactly its bytes,
// not for the block's width: a wide block of short rows reserves no more than it holds.
int AppendRow(SVFDataField::DataBlock* block, const unsigned char* bytes, size_t length)
{
    int width = block->m_nRowWidth;
    block->m_nRowWidth = length <= (size_t)INT_MAX / 8 ? (int)length * 8 : 0;
    UtByteBuffer* row = block->AddRow();
    block->m_nRowWidth = width;
    if (row == nullptr)
        return RZ_ERR_MEMORY;
    if (length > 0 && row->WriteData(bytes, (int)length) != (int)length)
        return RZ_ERR_MEMORY;
    return block->GetNumberOfRows() - 1;
}

// A model that a writer holds (from inside rz_write_stream's callback) is not changed:
// the writer reads it meanwhile.
bool Busy(const SVFPlusData* model)
{
    return model->IsHeld();
}
bool Busy(const rz_field* field)
{
    return FieldOf(field)->IsHeld();
}
bool Busy(const rz_block* block)
{
    return BlockOf(block)->IsHeld();
}

// Rows hold at most INT_MAX bytes.
bool RowLengthFits(size_t length)
{
    return length <= (size_t)INT_MAX;
}
}

extern "C" {

rz_model* rz_model_new(void)
{
    return new (std::nothrow) rz_model();
}

void rz_model_free(rz_model* model)
{
    // A model being written is freed once the write is over (rz_write_stream).
    if (model != nullptr && Busy(ModelOf(model)))
        model->bFreeWhenWritten = true;
    else
        delete model;
}

const char* rz_model_version(const rz_model* model)
{
    return model != nullptr ? ModelOf(model)->GetVersion() : nullptr;
}

int rz_model_set_version(rz_model* model, const char* version)
{
    if (model == nullptr)
        return RZ_ERR_ARGUMENT;
    if (Busy(ModelOf(model)))
        return RZ_ERR_BUSY;
    return TextStored(version, ModelOf(model)->SetVersion(version));
}

const char* rz_model_comment(const rz_model* model)
{
    return model != nullptr ? ModelOf(model)->GetComment() : nullptr;
}

int rz_model_set_comment(rz_model* model, const char* comment)
{
    if (model == nullptr)
        return RZ_ERR_ARGUMENT;
    if (Busy(ModelOf(model)))
        return RZ_ERR_BUSY;
    ModelOf(model)->SetComment(comment);
    return TextStored(comment, ModelOf(model)->GetComment());
}

int rz_model_field_count(const rz_model* model)
{
    return model != nullptr ? ModelOf(model)->GetDataFieldCount() : 0;
}

rz_field* rz_model_field(const rz_model* model, int index)
{
    return model != nullptr ? reinterpret_cast<rz_field*>(ModelOf(model)->GetDataField(index)) : nullptr;
}

rz_field* rz_model_add_field(rz_model* model, const char* name)
{
    if (model == nullptr || Busy(ModelOf(model)))
        return nullptr;
    SVFDataField* field = ModelOf(model)->AddDataField();
    if (field == nullptr)
        return nullptr;
    field->SetFieldName(name);
    // Without memory for the name, the field stays nameless and the caller gets null.
    return TextStored(name, field->GetFieldName()) == RZ_OK ? reinterpret_cast<rz_field*>(field) : nullptr;
}

const char* rz_field_name(const rz_field* field)
{
    return field != nullptr ? FieldOf(field)->GetFieldName() : nullptr;
}

int rz_field_set_name(rz_field* field, const char* name)
{
    if (field == nullptr)
        return RZ_ERR_ARGUMENT;
    if (Busy(field))
        return RZ_ERR_BUSY;
    FieldOf(field)->SetFieldName(name);
    return TextStored(name, FieldOf(field)->GetFieldName());
}

unsigned rz_field_checksum(const rz_field* field)
{
    return field != nullptr ? FieldOf(field)->m_nChecksum : 0;
}

int rz_field_set_checksum(rz_field* field, unsigned checksum)
{
    // A data file keeps four hexadecimal digits of the checksum.
    if (field == nullptr || checksum > 0xFFFFu)
        return RZ_ERR_ARGUMENT;
    if (Busy(field))
        return RZ_ERR_BUSY;
    FieldOf(field)->m_nChecksum = checksum;
    return RZ_OK;
}

int rz_field_block_count(const rz_field* field)
{
    return field != nullptr ? FieldOf(field)->GetFieldBlockCount() : 0;
}

rz_block* rz_field_block(const rz_field* field, int index)
{
    return field != nullptr ? reinterpret_cast<rz_block*>(FieldOf(field)->GetDataBlock(index)) : nullptr;
}

rz_block* rz_field_add_block(rz_field* field, int row_width)
{
    return field != nullptr && !Busy(field) ? reinterpret_cast<rz_block*>(FieldOf(field)->AddFieldBlock(row_width))
                                            : nullptr;
}

int rz_block_row_width(const rz_block* block)
{
    return block != nullptr ? BlockOf(block)->m_nRowWidth : 0;
}

int rz_block_set_row_width(rz_block* block, int row_width)
{
    if (block == nullptr)
        return RZ_ERR_ARGUMENT;
    if (Busy(block))
        return RZ_ERR_BUSY;
    BlockOf(block)->m_nRowWidth = row_width;
    return RZ_OK;
}

int rz_block_row_count(const rz_block* block)
{
    return block != nullptr ? BlockOf(block)->GetNumberOfRows() : 0;
}

const unsigned char* rz_block_row(const rz_block* block, int index, size_t* length)
{
    UtByteBuffer* row = block != nullptr && index < INT_MAX ? BlockOf(block)->GetRow(index + 1) : nullptr;
    if (length != nullptr)
        *length = row != nullptr ? row->GetTotalSize() : 0;
    return row != nullptr ? row->GetData() : nullptr;
}

int rz_block_set_row(rz_block* block, int index, const void* bytes, size_t length)
{
    UtByteBuffer* row = block != nullptr && index < INT_MAX ? BlockOf(block)->GetRow(index + 1) : nullptr;
    if (row == nullptr || (bytes == nullptr && length > 0) || !RowLengthFits(length))
        return RZ_ERR_ARGUMENT;
    if (Busy(block))
        return RZ_ERR_BUSY;
    row->ClearBuffer();
    if (length > 0 && row->WriteData(bytes, (int)length) != (int)length)
        return RZ_ERR_MEMORY;
    return RZ_OK;
}

int rz_block_add_row(rz_block* block, const void* bytes, size_t length)
{
    if (block == nullptr || (bytes == nullptr && length > 0) || !RowLengthFits(length))
        return RZ_ERR_ARGUMENT;
    if (Busy(block))
        return RZ_ERR_BUSY;
    return AppendRow(BlockOf(block), static_cast<const unsigned char*>(bytes), length);
}

size_t rz_block_byte_count(const rz_block* block)
{
    size_t total = 0;
    int count = rz_block_row_count(block);
    for (int i = 1; i <= count; ++i)
        total += BlockOf(block)->GetRow(i)->GetTotalSize();
    return total;
}

int rz_block_copy_rows(const rz_block* block, unsigned char* bytes, size_t capacity, size_t* ends, size_t count)
{
    int rows = rz_block_row_count(block);
    if (block == nullptr || (size_t)rows > count || (rows > 0 && ends == nullptr) ||
        rz_block_byte_count(block) > capacity || (capacity > 0 && bytes == nullptr))
        return RZ_ERR_ARGUMENT;
    size_t at = 0;
    for (int i = 0; i < rows; ++i)
    {
        UtByteBuffer* row = BlockOf(block)->GetRow(i + 1);
        size_t length = row->GetTotalSize();
        if (length > 0)
            memcpy(bytes + at, row->GetData(), length);
        at += length;
        ends[i] = at;
    }
    return rows;
}

int rz_block_packed_rows(const rz_block* block, const unsigned char** start, size_t* ends, size_t count)
{
    int rows = rz_block_row_count(block);
    if (block == nullptr || start == nullptr || (size_t)rows > count || (rows > 0 && ends == nullptr))
        return RZ_ERR_ARGUMENT;
    *start = nullptr;
    const unsigned char* first = nullptr;
    size_t at = 0;
    for (int i = 0; i < rows; ++i)
    {
        const UtByteBuffer* row = BlockOf(block)->GetRow(i + 1);
        size_t length = row->GetTotalSize();
        const unsigned char* data = length > 0 ? row->GetData() : nullptr;
        if (length > 0 && (data == nullptr || (first != nullptr && data != first + at)))
            return 0;   // a row of a chain, or one that lies elsewhere
        if (first == nullptr)
            first = data;   // the first row with bytes: those before it are empty
        at += length;
        ends[i] = at;
    }
    *start = first;
    return first != nullptr ? rows : 0;
}

int rz_block_take_rows(rz_block* block, unsigned char* bytes, size_t capacity, size_t* ends, size_t count)
{
    if (block != nullptr && Busy(block))
        return RZ_ERR_BUSY;
    int rows = rz_block_copy_rows(block, bytes, capacity, ends, count);
    if (rows > 0)
        *BlockOf(block) = SVFDataField::DataBlock(BlockOf(block)->m_nRowWidth);   // assigning no rows allocates nothing
    return rows;
}

int rz_block_add_rows(rz_block* block, const void* bytes, const size_t* ends, size_t count)
{
    if (block == nullptr || (count > 0 && ends == nullptr) ||
        count > (size_t)(INT_MAX - BlockOf(block)->GetNumberOfRows()))
        return RZ_ERR_ARGUMENT;
    if (Busy(block))
        return RZ_ERR_BUSY;
    size_t start = 0;
    for (size_t i = 0; i < count; ++i)
    {
        if (ends[i] < start || !RowLengthFits(ends[i] - start))
            return RZ_ERR_ARGUMENT;
        start = ends[i];
    }
    if (start > 0 && bytes == nullptr)
        return RZ_ERR_ARGUMENT;
    const unsigned char* data = static_cast<const unsigned char*>(bytes);
    start = 0;
    for (size_t i = 0; i < count; ++i)
    {
        int result = AppendRow(BlockOf(block), data + start, ends[i] - start);
        if (result < 0)
            return result;
        start = ends[i];
    }
    return BlockOf(block)->GetNumberOfRows();
}

int rz_block_add_rows_from(rz_block* block, const rz_block* source)
{
    int rows = rz_block_row_count(source);
    if (block == nullptr || source == nullptr || rows > INT_MAX - BlockOf(block)->GetNumberOfRows())
        return RZ_ERR_ARGUMENT;
    if (Busy(block))
        return RZ_ERR_BUSY;
    // The count is taken first, so that a block copies the rows it had onto itself once.
    for (int i = 1; i <= rows; ++i)
    {
        UtByteBuffer* row = BlockOf(source)->GetRow(i);
        int result = AppendRow(BlockOf(block), row->GetData(), row->GetTotalSize());
        if (result < 0)
            return result;
    }
    return BlockOf(block)->GetNumberOfRows();
}
}
