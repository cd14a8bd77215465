// Tags: a start, empty-element or end tag that lies whole in the window, from the '<'
// at nPos to the terminator FindMarkupEnd found, taken apart into an XMLNode.
#include "XMLParserState.h"

#include <string.h>

#include "XMLAttributeCursor.h"
#include "XMLNameChars.h"
#include "XMLParser.h"

namespace
{
// Longest part of a name that a report quotes.
const int kQuotedName = 64;

int Quoted(size_t length)
{
    return length > (size_t)kQuotedName ? kQuotedName : (int)length;
}

// Tags with more attributes than this look for duplicates through a hash table.
const int kLinearAttributeLimit = 16;

unsigned int HashName(const char* name, size_t length)
{
    unsigned int hash = 2166136261u;
    for (size_t i = 0; i < length; ++i)
        hash = (hash ^ (unsigned char)name[i]) * 16777619u;
    return hash;
}

// `stored` is a terminated name that may be shorter than `length`: its length is
// measured first, reading no further than its terminator, before the bytes are compared.
bool SameName(const char* stored, const char* name, size_t length)
{
    return strnlen(stored, length + 1) == length && memcmp(stored, name, length) == 0;
}
}

// Parses "<name attr='value' ...>" (or "/>" when `empty`) into `node`. The attribute
// values are kept exactly as written between their quotes.
int XMLParserState::ParseStartTag(size_t end, bool empty, XMLNode* node)
{
    const char* const tag = window.Data() + nPos;
    const char* p = tag + 1;
    const char* const stop = window.Data() + end - (empty ? 1 : 0);

    if (p >= stop || !XMLIsNameStart(*p))
        return Problem(XML_ERR_BAD_NAME, (size_t)(p - window.Data()), "expected an element name after '<'");
    const char* name = p;
    while (p < stop && XMLIsNameChar(*p))
        ++p;
    size_t nameLength = (size_t)(p - name);
    m_sName.assign(name, nameLength);
    node->Clear();
    node->SetNodeName(m_sName.c_str());
    m_attributes.Reset();
    // With warnings on, where each value begins, for warnings about the values.
    bool placing = settings.Warnings() != nullptr && node != &m_nodeScratch;
    if (placing)
        scan.ClearAttributePlaces();

    const char* const data = window.Data();
    XMLAttributeCursor cursor(p, stop);
    while (cursor.Next())
    {
        char c = *cursor.At();
        size_t at = (size_t)(cursor.At() - data);
        if (!XMLIsNameStart(c) || !cursor.Spaced())
            return AttributeStartProblem(c, at, cursor.Spaced(), name, nameLength);

        const char* attribute = cursor.At();
        size_t attributeLength = cursor.Name();
        const char* value = nullptr;
        size_t valueLength = 0;
        XMLAttributeCursor::Fault fault = cursor.Value(&value, &valueLength);
        if (fault != XMLAttributeCursor::kNone)
            return AttributeValueProblem(fault, (size_t)(cursor.At() - data), attribute, attributeLength);
        if (m_attributes.Contains(node, attribute, attributeLength))
            return Problem(XML_ERR_DUPLICATE_ATTRIBUTE, at, "the attribute '%.*s' appears twice in the tag <%.*s>",
                           Quoted(attributeLength), attribute, Quoted(nameLength), name);
        if (valueLength > 0x7FFFFFF0u)
            return Problem(XML_ERR_BAD_ATTRIBUTE, (size_t)(cursor.Quote() - data),
                           "the value of the attribute '%.*s' is too long", Quoted(attributeLength), attribute);
        int index = node->AddAttribute(attribute, (int)attributeLength, value, (int)valueLength);
        m_attributes.Added(node, index);
        if (placing)
            scan.AddAttributePlace(LocateIndex((size_t)(value - data)));
    }

    if (window.Data()[end] != '>')
        return Problem(XML_ERR_BAD_MARKUP, end, "expected '>' to close the tag <%.*s>", Quoted(nameLength), name);
    return 0;
}

// At window index `at` of the start tag <name ...>, where an attribute is due, stands
// `c`: no name start, or a name with no white space before it (`spaced` false).
int XMLParserState::AttributeStartProblem(char c, size_t at, bool spaced, const char* name, size_t nameLength)
{
    if (XMLIsNameStart(c))
        return Problem(XML_ERR_BAD_ATTRIBUTE, at, "expected white space before the attribute in the tag <%.*s>",
                       Quoted(nameLength), name);
    if (c == '/')
        return Problem(XML_ERR_BAD_MARKUP, at, "expected '>' after '/' in the tag <%.*s>", Quoted(nameLength), name);
    if (c == '<')
        return Problem(XML_ERR_BAD_MARKUP, at, "expected '>' to close the tag <%.*s>", Quoted(nameLength), name);
    if (c == '=' || c == '"' || c == '\'')
        return Problem(XML_ERR_BAD_ATTRIBUTE, at, "an attribute value without a name in the tag <%.*s>",
                       Quoted(nameLength), name);
    return Problem(XML_ERR_BAD_NAME, at,
                   spaced ? "expected an attribute name or '>' in the tag <%.*s>"
                          : "expected '>' after the element name <%.*s>",
                   Quoted(nameLength), name);
}

// The attribute `attribute` has no '=', no quoted value or an unclosed one (`fault`), at
// window index `at`.
int XMLParserState::AttributeValueProblem(int fault, size_t at, const char* attribute, size_t attributeLength)
{
    return Problem(XML_ERR_BAD_ATTRIBUTE, at,
                   fault == XMLAttributeCursor::kNoEquals  ? "expected '=' after the attribute '%.*s'"
                   : fault == XMLAttributeCursor::kNoQuote ? "expected a quoted value for the attribute '%.*s'"
                                                           : "the value of the attribute '%.*s' is not closed",
                   Quoted(attributeLength), attribute);
}

// Parses "</name>" (white space allowed before the '>') into `node`.
int XMLParserState::ParseEndTag(size_t end, XMLNode* node)
{
    const char* p = window.Data() + nPos + 2;
    const char* const stop = window.Data() + end;
    if (p >= stop || !XMLIsNameStart(*p))
        return Problem(XML_ERR_BAD_NAME, (size_t)(p - window.Data()), "expected an element name after '</'");
    const char* name = p;
    while (p < stop && XMLIsNameChar(*p))
        ++p;
    size_t nameLength = (size_t)(p - name);
    while (p < stop && XMLIsSpace(*p))
        ++p;
    if (p != stop || window.Data()[end] != '>')
        return Problem(XML_ERR_BAD_MARKUP, (size_t)(p - window.Data()),
                       "expected '>' after the element name in the end tag </%.*s>", Quoted(nameLength), name);
    m_sName.assign(name, nameLength);
    node->Clear();
    node->SetNodeName(m_sName.c_str());
    return 0;
}

int XMLParserState::TakeTag(size_t end, XMLNode* startNode, XMLNode* emptyNode, XMLNode* endNode, XMLNode** node)
{
    size_t tagIndex = nPos;
    if (window.Data()[tagIndex + 1] == '/')
    {
        *node = endNode;
        if (ParseEndTag(end, endNode) < 0 || PopElement(endNode->GetNodeName(), tagIndex) < 0)
            return failure.Code();
    }
    else
    {
        bool empty = IsEmptyElementTag(tagIndex, end);
        *node = empty ? emptyNode : startNode;
        if (ParseStartTag(end, empty, *node) < 0 || OpenElement(empty, tagIndex) < 0)
            return failure.Code();
    }
    nPos = end + 1;
    if (Depth() == 0)
        scan.Finish();
    return 0;
}

bool XMLAttributeIndex::Contains(XMLNode* node, const char* name, size_t length)
{
    int count = node->GetAttributeCount();
    if (count < kLinearAttributeLimit)
    {
        for (int i = 0; i < count; ++i)
        {
            if (SameName(node->GetAttributeName(i), name, length))
                return true;
        }
        return false;
    }

    if (m_nHashed != count || m_aSlots.size() < 2 * (size_t)(count + 1))
    {
        // (Re)build the table from the attributes so far, at most a quarter full.
        size_t slots = 64;
        while (slots < 4 * (size_t)(count + 1))
            slots *= 2;
        m_aSlots.assign(slots, -1);
        for (int i = 0; i < count; ++i)
            Insert(node, i);
        m_nHashed = count;
    }
    size_t mask = m_aSlots.size() - 1;
    for (size_t slot = HashName(name, length) & mask; m_aSlots[slot] >= 0; slot = (slot + 1) & mask)
    {
        if (SameName(node->GetAttributeName(m_aSlots[slot]), name, length))
            return true;
    }
    return false;
}

// Keeps the hash table (when the tag uses one) in step with a newly added attribute.
void XMLAttributeIndex::Added(XMLNode* node, int index)
{
    if (m_nHashed == 0 || m_nHashed != index)
        return;
    if (m_aSlots.size() < 2 * (size_t)(index + 1))
    {
        m_nHashed = 0;   // rebuilt, larger, by the next duplicate check
        return;
    }
    Insert(node, index);
    m_nHashed = index + 1;
}

void XMLAttributeIndex::Insert(XMLNode* node, int index)
{
    const char* name = node->GetAttributeName(index);
    size_t mask = m_aSlots.size() - 1;
    size_t slot = HashName(name, strlen(name)) & mask;
    while (m_aSlots[slot] >= 0)
        slot = (slot + 1) & mask;
    m_aSlots[slot] = index;
}
