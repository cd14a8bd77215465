// Which of a tag's attributes the parser has seen (XMLTags.cpp). Internal to the parser
// library.
#ifndef RIZEROZ_XMLATTRIBUTEINDEX_H
#define RIZEROZ_XMLATTRIBUTEINDEX_H

#include <stddef.h>

#include <vector>

#include "XMLNode.h"

// Which of a tag's attributes have been seen: a plain search while a tag has few
// attributes, a hash table of their indexes (kept in step as they are added) past that.
class XMLAttributeIndex
{
public:
    // A new tag begins.
    void Reset() { m_nHashed = 0; }
    // `node` has an attribute `name` of `length` bytes already.
    bool Contains(XMLNode* node, const char* name, size_t length);
    // Attribute `index` was just added to `node`.
    void Added(XMLNode* node, int index);

private:
    void Insert(XMLNode* node, int index);

    std::vector<int> m_aSlots;
    int m_nHashed = 0;   // attributes in the table; 0 while none is
};

#endif
