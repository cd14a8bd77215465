// XMLNode: one tag as the parser read it: the element name, its attributes (values
// exactly as written between their quotes), and an enumeration value that a parser's
// derived class stores on it while the tag is scanned.
#ifndef RIZEROZ_XMLNODE_H
#define RIZEROZ_XMLNODE_H

#include "RizErozExport.h"

class RIZEROZ_API XMLNode
{
public:
    XMLNode();
    XMLNode(const XMLNode& other);
    XMLNode& operator=(const XMLNode& other);
    ~XMLNode();

    // Element name; never null (empty for a node that has none).
    char* GetNodeName();
    void SetNodeName(const char* name);

    void SetNodeEnumValue(unsigned long value) { m_nEnumValue = value; }
    unsigned long GetNodeEnumValue() { return m_nEnumValue; }

    // The value of attribute `name` as written, or null when the tag has no such
    // attribute (or `name` is null).
    char* GetNodeAttributeValue(const char* name);
    int GetAttributeCount() const { return m_nAttributeCount; }
    // Name and value of the attribute at `index` (from 0, in document order); null
    // outside the range.
    char* GetAttributeName(int index);
    char* GetAttributeValue(int index);
    // Adds an attribute (name and value copied). Returns its index.
    int AddAttribute(const char* name, const char* value);
    int AddAttribute(const char* name, int nameLength, const char* value, int valueLength);

    // Forgets name, attributes and enumeration value; storage is kept for reuse.
    void Clear();

private:
    int AppendText(const char* text, int length);

    // Name and attributes live in one owned character area of zero-terminated texts:
    // the name at offset 0, then name and value of each attribute. m_pOffsets holds,
    // per attribute, the offsets of its name and its value.
    char* m_pText;
    int m_nTextSize;
    int m_nTextCapacity;
    int* m_pOffsets;
    int m_nAttributeCount;
    int m_nOffsetSlots;
    unsigned long m_nEnumValue;
};

#endif
