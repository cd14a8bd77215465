// A compact text of a model's whole content, so that tests compare models as strings:
//   v=<version> c=<comment> F(<name>,<checksum>) B<width>[<row>,<row>] ...
// "~" stands for a null text; rows are "0x" and upper-case digits.
#ifndef RIZEROZ_MODEL_SUMMARY_H
#define RIZEROZ_MODEL_SUMMARY_H

#include <cstdio>
#include <string>

#include "RODAzivUzirAdovIzozari.h"

namespace testsupport
{
inline std::string RowText(UtByteBuffer* row)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (unsigned int i = 0; i < row->GetTotalSize(); ++i)
    {
        unsigned char b = row->ReadData((int)i);
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

inline std::string Summary(SVFPlusData* model)
{
    if (model == nullptr)
        return "none";
    auto text = [](const char* s) { return s != nullptr ? std::string(s) : std::string("~"); };
    std::string out = "v=" + text(model->GetVersion()) + " c=" + text(model->GetComment());
    for (int i = 0; i < model->GetDataFieldCount(); ++i)
    {
        SVFDataField* field = model->GetDataField(i);
        char checksum[16];
        std::snprintf(checksum, sizeof(checksum), "%x", field->m_nChecksum);
        out += " F(" + text(field->GetFieldName()) + "," + checksum + ")";
        for (int j = 0; j < field->GetFieldBlockCount(); ++j)
        {
            SVFDataField::DataBlock* block = field->GetDataBlock(j);
            out += " B" + std::to_string(block->m_nRowWidth) + "[";
            for (int k = 1; k <= block->GetNumberOfRows(); ++k)
                out += (k > 1 ? "," : "") + RowText(block->GetRow(k));
            out += "]";
        }
    }
    return out;
}
}

#endif
