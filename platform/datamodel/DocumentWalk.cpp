// Walking a model in the order of its document, a part at a time (DocumentWalk.h).
#include "DocumentWalk.h"

#include <stdint.h>
#include <string.h>

namespace
{
// Two independent 64-bit digests of the `length` bytes at `text`, 8 bytes at a time.
void Digest(const char* text, size_t length, uint64_t digest[2])
{
    uint64_t a = 0x9E3779B97F4A7C15ull ^ length, b = 0xC2B2AE3D27D4EB4Full + length;
    size_t i = 0;
    for (uint64_t word; i + 8 <= length; i += 8)
    {
        memcpy(&word, text + i, 8);
        a = ((a ^ word) * 0x100000001B3ull) ^ (a >> 29);
        b = ((b + word) * 0xFF51AFD7ED558CCDull) ^ (b >> 31);
    }
    for (; i < length; ++i)
    {
        a = (a ^ (unsigned char)text[i]) * 0x100000001B3ull;
        b = (b + (unsigned char)text[i]) * 0xFF51AFD7ED558CCDull;
    }
    digest[0] = a;
    digest[1] = b;
}

// What a walk notes of the texts and numbers it passes: a short text itself, a long one
// by its length and digests, so that the note of a text of gigabytes takes no copy of it.
void AddText(std::string& outline, const char* text)
{
    const size_t kShort = 64;
    size_t length = text != nullptr ? strlen(text) : 0;
    if (text == nullptr || length <= kShort)
    {
        outline.append(text != nullptr ? "+" : "-").append(text != nullptr ? text : "") += '\0';
        return;
    }
    uint64_t digest[2];
    Digest(text, length, digest);
    outline.append("#").append((const char*)digest, sizeof(digest)) += std::to_string(length) + '\0';
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
