// The check before saving: whether the document of a model reads back as the model holds
// it. The writer puts texts out as they are, and an expression row reads back no more
// bytes than its width holds; the save paths (SaveSVFPlusData, rz_write) refuse what
// would not read back as written before they touch a file. The handler's Write itself
// writes whatever the model holds.
#include "SafeSave.h"

#include <stdio.h>
#include <string.h>

#include <new>
#include <string>

#include "DocumentText.h"
#include "RowWidth.h"
#include "UtUtility.h"
#include "XMLReference.h"

namespace
{
// A phrase for the first character of `text` the writer cannot put out as it is, or
// empty. `attribute`: the text stands between double quotes (version, field name), else
// it is element text (the comment).
std::string TextProblem(const char* text, bool attribute)
{
    if (text == nullptr)
        return std::string();
    const char* end = text + strlen(text);
    for (const char* p = text; p < end; ++p)
    {
        unsigned char c = (unsigned char)*p;
        if (c == '<')
            return "the character '<'";
        if (c == '&' && XMLReferenceLength(p, (size_t)(end - p)) == 0)
            return "a '&' that begins no entity or character reference";
        if (attribute && c == '"')
            return "the character '\"'";
        if (!attribute && strncmp(p, "]]>", 3) == 0)
            return "the text \"]]>\"";
        bool allowed = c == '\t' || (!attribute && (c == '\n' || c == '\r'));
        if ((c < 0x20 || c == 0x7F) && !allowed)
        {
            char code[8];
            snprintf(code, sizeof(code), "%02X", c);
            return std::string("the control character 0x") + code;
        }
    }
    return std::string();
}

std::string Bytes(long long count)
{
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

// The first row that holds more bytes than its block's width holds and that the writer
// would put out as an expression: 0, SVF_ERR_UNWRITABLE with `problem`, or
// SVF_ERR_NO_MEMORY.
int RowProblem(SVFPlusData* model, std::string& problem)
{
    for (int i = 0; i < model->GetDataFieldCount(); ++i)
    {
        SVFDataField* field = model->GetDataField(i);
        for (int j = 0; field != nullptr && j < field->GetFieldBlockCount(); ++j)
        {
            SVFDataField::DataBlock* block = field->GetDataBlock(j);
            long long room = ExpressionRowBytes(block->m_nRowWidth);
            for (int k = 1; k <= block->GetNumberOfRows(); ++k)
            {
                UtByteBuffer* row = block->GetRow(k);
                if ((long long)row->GetTotalSize() <= room)
                    continue;
                int expression = WritesAsExpression(row);
                if (expression <= 0)
                {
                    if (expression < 0)
                        return expression;
                    continue;
                }
                const char* name = field->GetFieldName();
                problem = "row " + std::to_string(k - 1) + " of block " + std::to_string(j) + " of field " +
                          std::to_string(i) + (name != nullptr ? " \"" + std::string(name) + "\"" : "") + " holds " +
                          Bytes(row->GetTotalSize()) + " and would be written as an expression, which reads back " +
                          (room > 0 ? "only the " + Bytes(room) + " that" : "no byte, as") + " its row_width of " +
                          std::to_string(block->m_nRowWidth) + " holds";
                return SVF_ERR_UNWRITABLE;
            }
        }
    }
    return 0;
}

// The first text or row of `model` that would not read back as written: 0, or a code
// with `problem` (SVF_ERR_UNWRITABLE) or without (SVF_ERR_NO_MEMORY).
int FindProblem(SVFPlusData* model, bool expressions, std::string& problem)
{
    std::string found;
    if (!(found = TextProblem(model->GetVersion(), true)).empty())
        problem = "the version holds " + found;
    else if (!(found = TextProblem(model->GetComment(), false)).empty())
        problem = "the comment holds " + found;
    for (int i = 0; problem.empty() && i < model->GetDataFieldCount(); ++i)
    {
        SVFDataField* field = model->GetDataField(i);
        found = field != nullptr ? TextProblem(field->GetFieldName(), true) : std::string();
        if (!found.empty())
            problem = "the name of field " + std::to_string(i) + " holds " + found;
    }
    if (!problem.empty())
        return SVF_ERR_UNWRITABLE;
    return expressions ? RowProblem(model, problem) : 0;
}
}

int CheckSVFPlusData(SVFPlusData* model, bool expressions, const char* path, ErrorHandler* errors)
{
    if (model == nullptr)
        return 0;
    try
    {
        std::string problem;
        int result = FindProblem(model, expressions, problem);
        if (result == SVF_ERR_UNWRITABLE && errors != nullptr)
        {
            const char* shown = path != nullptr ? path : "";
            errors->AddReport(result, ERROR_LIST_OUTPUT, shown, shown, 0, 0,
                              (problem + "; the file is left as it was").c_str());
        }
        return result;
    }
    catch (const std::bad_alloc&)
    {
        return SVF_ERR_NO_MEMORY;
    }
}
