// Walking a model in the order of its document, a part at a time (DocumentWalk.h).
#include "DocumentWalk.h"

namespace
{
// What a walk notes of the texts and numbers it passes.
void AddText(std::string& outline, const char* text)
{
    outline.append(text != nullptr ? "+" : "-").append(text != nullptr ? text : "") += '\0';
}

void AddField(std::string& outline, SVFDataField* field)
{
    AddText(outline, field->GetFieldName());
    outline += std::to_string(field->m_nChecksum) + '\0';
}

void AddHead(std::string& outline, SVFPlusData* model)
{
    AddText(outline, model->GetVersion());
    AddText(outline, model->GetComment());
}
}

SVFDocumentWalk::SVFDocumentWalk() : m_bStarted(false), m_nField(0), m_nBlock(0), m_bFieldOpen(false) {}

void SVFDocumentWalk::WalkTo(SVFPlusData* model, Visitor& visitor, int field, int block)
{
    bool end = field < 0;
    if (!m_bStarted)
    {
        AddHead(m_outline, model);
        visitor.Head(model);
    }
    m_bStarted = true;
    for (int count = model->GetDataFieldCount(); m_nField < count && (end || m_nField <= field);)
    {
        SVFDataField* current = model->GetDataField(m_nField);
        bool last = !end && m_nField == field;
        if (current != nullptr && !m_bFieldOpen && last && block == 0)
            break;
        if (current != nullptr && !m_bFieldOpen)
        {
            AddField(m_outline, current);
            visitor.FieldStart(current);
        }
        m_bFieldOpen = current != nullptr;
        for (int blocks = current == nullptr ? 0 : last ? block : current->GetFieldBlockCount(); m_nBlock < blocks;)
            visitor.Block(current->GetDataBlock(m_nBlock++));
        if (last)
            break;
        if (current != nullptr)
            visitor.FieldEnd(current);
        m_bFieldOpen = false;
        m_nBlock = 0;
        ++m_nField;
    }
    if (end)
        visitor.End(model);
}

bool SVFDocumentWalk::Holds(SVFPlusData* model) const
{
    if (!m_bStarted)
        return true;
    std::string now;
    AddHead(now, model);
    for (int i = 0; i < m_nField + (m_bFieldOpen ? 1 : 0); ++i)
        if (model->GetDataField(i) != nullptr)
            AddField(now, model->GetDataField(i));
    return now == m_outline;
}
