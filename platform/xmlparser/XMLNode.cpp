// XMLNode: a tag's name and attributes in one owned character area.
//
// The area holds zero-terminated texts back to back: the element name at offset 0, then
// name and value of every attribute in document order. m_pOffsets keeps two offsets per
// attribute (name, value). Clear() forgets the texts but keeps the storage, so a parser
// that reuses one node per tag kind allocates only while its tags keep growing.
#include "XMLNode.h"

#include <string.h>

namespace
{
const int kInitialTextCapacity = 64;

int TextLength(const char* text)
{
    return text ? (int)strlen(text) : 0;
}

// True when `p` points into the `size` bytes starting at `area`.
bool PointsInto(const char* p, const char* area, int size)
{
    return p && area && p >= area && p < area + size;
}
}

XMLNode::XMLNode()
    : m_pText(new char[kInitialTextCapacity]), m_nTextSize(1), m_nTextCapacity(kInitialTextCapacity),
      m_pOffsets(nullptr), m_nAttributeCount(0), m_nOffsetSlots(0), m_nEnumValue(0)
{
    m_pText[0] = '\0';
}

XMLNode::XMLNode(const XMLNode& other)
    : m_pText(new char[other.m_nTextSize > 0 ? other.m_nTextSize : 1]),
      m_nTextSize(other.m_nTextSize > 0 ? other.m_nTextSize : 1), m_nTextCapacity(m_nTextSize), m_pOffsets(nullptr),
      m_nAttributeCount(other.m_nAttributeCount), m_nOffsetSlots(other.m_nAttributeCount),
      m_nEnumValue(other.m_nEnumValue)
{
    memcpy(m_pText, other.m_pText, (size_t)m_nTextSize);
    if (m_nAttributeCount > 0)
    {
        m_pOffsets = new int[2 * m_nAttributeCount];
        memcpy(m_pOffsets, other.m_pOffsets, sizeof(int) * 2 * (size_t)m_nAttributeCount);
    }
}

XMLNode& XMLNode::operator=(const XMLNode& other)
{
    if (this == &other)
        return *this;
    XMLNode copy(other);
    char* text = m_pText;
    int* offsets = m_pOffsets;
    m_pText = copy.m_pText;
    m_nTextSize = copy.m_nTextSize;
    m_nTextCapacity = copy.m_nTextCapacity;
    m_pOffsets = copy.m_pOffsets;
    m_nAttributeCount = copy.m_nAttributeCount;
    m_nOffsetSlots = copy.m_nOffsetSlots;
    m_nEnumValue = copy.m_nEnumValue;
    // The copy releases our old storage.
    copy.m_pText = text;
    copy.m_pOffsets = offsets;
    return *this;
}

XMLNode::~XMLNode()
{
    delete[] m_pText;
    delete[] m_pOffsets;
}

char* XMLNode::GetNodeName()
{
    return m_pText;
}

void XMLNode::SetNodeName(const char* name)
{
    int length = TextLength(name);
    if (m_nAttributeCount == 0)
    {
        if (PointsInto(name, m_pText, m_nTextCapacity))
        {
            // A text of our own area (a former attribute's, say): move it to the front.
            memmove(m_pText, name, (size_t)length);
            m_pText[length] = '\0';
            m_nTextSize = length + 1;
            return;
        }
        m_nTextSize = 0;
        AppendText(name, length);
        return;
    }

    // Rebuild the area with the new name in front of the attributes.
    XMLNode old(*this);
    m_nTextSize = 0;
    AppendText(name, length);   // `name` may point into our area; AppendText copies first
    int count = m_nAttributeCount;
    m_nAttributeCount = 0;
    for (int i = 0; i < count; ++i)
        AddAttribute(old.GetAttributeName(i), old.GetAttributeValue(i));
}

char* XMLNode::GetNodeAttributeValue(const char* name)
{
    if (!name)
        return nullptr;
    for (int i = 0; i < m_nAttributeCount; ++i)
    {
        if (strcmp(m_pText + m_pOffsets[2 * i], name) == 0)
            return m_pText + m_pOffsets[2 * i + 1];
    }
    return nullptr;
}

char* XMLNode::GetAttributeName(int index)
{
    if (index < 0 || index >= m_nAttributeCount)
        return nullptr;
    return m_pText + m_pOffsets[2 * index];
}

char* XMLNode::GetAttributeValue(int index)
{
    if (index < 0 || index >= m_nAttributeCount)
        return nullptr;
    return m_pText + m_pOffsets[2 * index + 1];
}

int XMLNode::AddAttribute(const char* name, const char* value)
{
    return AddAttribute(name, TextLength(name), value, TextLength(value));
}

int XMLNode::AddAttribute(const char* name, int nameLength, const char* value, int valueLength)
{
    if (!name || nameLength < 0)
        nameLength = 0;
    if (!value || valueLength < 0)
        valueLength = 0;

    if (m_nAttributeCount == m_nOffsetSlots)
    {
        int slots = m_nOffsetSlots < 4 ? 4 : 2 * m_nOffsetSlots;
        int* offsets = new int[2 * slots];
        if (m_nAttributeCount > 0)
            memcpy(offsets, m_pOffsets, sizeof(int) * 2 * (size_t)m_nAttributeCount);
        delete[] m_pOffsets;
        m_pOffsets = offsets;
        m_nOffsetSlots = slots;
    }

    // The value may be a text of our own area, which appending the name can move.
    int valueOffset = PointsInto(value, m_pText, m_nTextCapacity) ? (int)(value - m_pText) : -1;
    int nameAt = AppendText(name, nameLength);
    if (valueOffset >= 0)
        value = m_pText + valueOffset;
    int valueAt = AppendText(value, valueLength);

    m_pOffsets[2 * m_nAttributeCount] = nameAt;
    m_pOffsets[2 * m_nAttributeCount + 1] = valueAt;
    return m_nAttributeCount++;
}

void XMLNode::Clear()
{
    m_pText[0] = '\0';
    m_nTextSize = 1;
    m_nAttributeCount = 0;
    m_nEnumValue = 0;
}

// Appends `length` characters of `text` and a terminator; returns the offset they start
// at. The old storage is released only after the copy, so `text` may lie inside it.
int XMLNode::AppendText(const char* text, int length)
{
    int needed = m_nTextSize + length + 1;
    if (needed > m_nTextCapacity)
    {
        int capacity = m_nTextCapacity;
        while (capacity < needed)
            capacity = capacity > (1 << 29) ? needed : 2 * capacity;
        char* area = new char[capacity];
        memcpy(area, m_pText, (size_t)m_nTextSize);
        if (length > 0)
            memcpy(area + m_nTextSize, text, (size_t)length);
        delete[] m_pText;
        m_pText = area;
        m_nTextCapacity = capacity;
    }
    else if (length > 0)
    {
        memmove(m_pText + m_nTextSize, text, (size_t)length);
    }
    int offset = m_nTextSize;
    m_pText[offset + length] = '\0';
    m_nTextSize = needed;
    return offset;
}
