// The scan behind `rizeroz check`. It walks the document's text once, keeping the open
// elements on a stack, and follows the reader's rules: an element's text is what stands
// before its first child element (CDATA sections give their inner text, comments give
// nothing); elements of unknown names are passed over with everything in them; nothing
// after the root element is read. The rows of each field block go to RowScan.
//
// The reader's own walk is followed too, as a stack of levels beside the stack of
// elements: a start tag it takes opens a level, any end tag closes the innermost one, and
// so does an empty-element tag of an unknown name, which is how the reader can lose step
// with the document. When the level the root element opened closes, the reader is done.
#include "DocumentScan.h"

#include <string.h>

#include <algorithm>
#include <climits>

#include "RowScan.h"
#include "ToolText.h"
#include "UtUtility.h"

namespace
{
enum ElementKind
{
    KindRoot,
    KindComment,
    KindDataField,
    KindFieldBlock,
    KindUnknown
};

struct OpenElement
{
    std::string name;
    ElementKind kind;
    bool bSkipped;        // unknown to the reader, or inside such an element
    bool bChildSeen;      // a child element has begun: later text is nobody's
    bool bRowsRead;       // a field block the reader turns into rows
    BlockText block;      // tag place, field name, width and text, for the rows
};

// What the reader passes to the elements of a level as their parent.
enum ReaderParent
{
    ParentNone,        // outside the root element
    ParentRoot,
    ParentDataField
};

struct ReaderLevel
{
    ReaderParent parent;
    std::string name;     // the element that opened the level
};

struct Attribute
{
    std::string name;
    std::string value;
};

bool IsNameStart(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || (unsigned char)c >= 0x80;
}

bool IsNameChar(char c)
{
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

ElementKind KindOf(const std::string& name)
{
    if (name == "SVF_Plus_Data")
        return KindRoot;
    if (name == "Comment")
        return KindComment;
    if (name == "DataField")
        return KindDataField;
    if (name == "FieldBlock")
        return KindFieldBlock;
    return KindUnknown;
}

class DocumentScanner
{
public:
    DocumentScanner(const std::string& text, std::vector<CheckFinding>& findings)
        : m_text(text), m_findings(findings), m_nPos(0), m_bReaderStarted(false), m_bRootEnded(false),
          m_bStopped(false), m_nComments(0)
    {
        // Offsets where lines begin, for placing findings as the parser places tags.
        m_lineStarts.push_back(0);
        const char* end = text.data() + text.size();
        for (const char* p = text.data(); (p = (const char*)memchr(p, '\n', (size_t)(end - p))) != nullptr; ++p)
            m_lineStarts.push_back((size_t)(p - text.data()) + 1);
    }

    void Run();

private:
    bool StartsWith(const char* literal) const
    {
        return m_text.compare(m_nPos, strlen(literal), literal) == 0;
    }
    void Report(size_t offset, const std::string& sentence);
    bool SkipPast(const char* terminator);
    bool SkipDoctype();
    bool ReadName(std::string& name);
    void SkipSpace();
    bool ReadStartTag(size_t tagOffset);
    bool ReadEndTag(size_t tagOffset);
    void OnText(size_t begin, size_t end);
    void OnStartTag(const std::string& name, const std::vector<Attribute>& attributes, bool empty, size_t offset);
    void OnEndTag(size_t offset);
    void CheckRootAttributes(const std::vector<Attribute>& attributes, size_t offset);
    void CheckFieldAttributes(const std::vector<Attribute>& attributes, size_t offset, OpenElement& field);
    void CheckBlockAttributes(const std::vector<Attribute>& attributes, size_t offset, OpenElement& block);
    void AfterRoot(size_t offset);
    void SkippedEmptyElement(const std::string& name, size_t offset);

    const std::string& m_text;
    std::vector<CheckFinding>& m_findings;
    std::vector<size_t> m_lineStarts;
    size_t m_nPos;
    std::vector<OpenElement> m_stack;
    std::vector<ReaderLevel> m_levels;
    bool m_bReaderStarted;
    bool m_bRootEnded;
    bool m_bStopped;
    int m_nComments;
};

const Attribute* FindAttribute(const std::vector<Attribute>& attributes, const char* name)
{
    for (const Attribute& attribute : attributes)
        if (attribute.name == name)
            return &attribute;
    return nullptr;
}

void DocumentScanner::Report(size_t offset, const std::string& sentence)
{
    size_t line = (size_t)(std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), offset) - m_lineStarts.begin());
    CheckFinding finding;
    finding.nLine = (long)line;
    finding.nColumn = (long)(offset - m_lineStarts[line - 1] + 1);
    finding.text = sentence;
    m_findings.push_back(finding);
}

bool DocumentScanner::SkipPast(const char* terminator)
{
    size_t found = m_text.find(terminator, m_nPos);
    if (found == std::string::npos)
        return false;
    m_nPos = found + strlen(terminator);
    return true;
}

// From "<!DOCTYPE" past its closing '>', over quoted texts and an internal subset.
bool DocumentScanner::SkipDoctype()
{
    char quote = 0;
    bool subset = false;
    for (size_t i = m_nPos; i < m_text.size(); ++i)
    {
        char c = m_text[i];
        if (quote != 0)
        {
            if (c == quote)
                quote = 0;
        }
        else if (c == '"' || c == '\'')
        {
            quote = c;
        }
        else if (c == '[')
        {
            subset = true;
        }
        else if (c == ']')
        {
            subset = false;
        }
        else if (c == '>' && !subset)
        {
            m_nPos = i + 1;
            return true;
        }
    }
    return false;
}

bool DocumentScanner::ReadName(std::string& name)
{
    size_t start = m_nPos;
    if (m_nPos >= m_text.size() || !IsNameStart(m_text[m_nPos]))
        return false;
    while (m_nPos < m_text.size() && IsNameChar(m_text[m_nPos]))
        ++m_nPos;
    name.assign(m_text, start, m_nPos - start);
    return true;
}

void DocumentScanner::SkipSpace()
{
    while (m_nPos < m_text.size() && IsXmlSpace(m_text[m_nPos]))
        ++m_nPos;
}

bool DocumentScanner::ReadStartTag(size_t tagOffset)
{
    ++m_nPos;
    std::string name;
    if (!ReadName(name))
        return false;
    std::vector<Attribute> attributes;
    for (;;)
    {
        SkipSpace();
        if (m_nPos >= m_text.size())
            return false;
        if (m_text[m_nPos] == '>')
        {
            ++m_nPos;
            OnStartTag(name, attributes, false, tagOffset);
            return true;
        }
        if (StartsWith("/>"))
        {
            m_nPos += 2;
            OnStartTag(name, attributes, true, tagOffset);
            return true;
        }
        Attribute attribute;
        if (!ReadName(attribute.name))
            return false;
        SkipSpace();
        if (m_nPos >= m_text.size() || m_text[m_nPos] != '=')
            return false;
        ++m_nPos;
        SkipSpace();
        if (m_nPos >= m_text.size() || (m_text[m_nPos] != '"' && m_text[m_nPos] != '\''))
            return false;
        size_t close = m_text.find(m_text[m_nPos], m_nPos + 1);
        if (close == std::string::npos)
            return false;
        attribute.value.assign(m_text, m_nPos + 1, close - m_nPos - 1);
        m_nPos = close + 1;
        attributes.push_back(attribute);
    }
}

bool DocumentScanner::ReadEndTag(size_t tagOffset)
{
    m_nPos += 2;
    std::string name;
    if (!ReadName(name))
        return false;
    SkipSpace();
    if (m_nPos >= m_text.size() || m_text[m_nPos] != '>')
        return false;
    ++m_nPos;
    OnEndTag(tagOffset);
    return true;
}

void DocumentScanner::Run()
{
    if (StartsWith("\xEF\xBB\xBF"))
        m_nPos = 3;
    while (m_nPos < m_text.size() && !m_bStopped)
    {
        size_t open = m_text.find('<', m_nPos);
        size_t end = open == std::string::npos ? m_text.size() : open;
        if (end > m_nPos)
            OnText(m_nPos, end);
        if (open == std::string::npos || m_bStopped)
            return;
        m_nPos = open;
        bool understood;
        if (StartsWith("<!--"))
        {
            understood = SkipPast("-->");
        }
        else if (StartsWith("<![CDATA["))
        {
            size_t inner = m_nPos + 9;
            understood = SkipPast("]]>");
            if (understood)
                OnText(inner, m_nPos - 3);
        }
        else if (StartsWith("<?"))
        {
            understood = SkipPast("?>");
        }
        else if (StartsWith("<!DOCTYPE"))
        {
            understood = SkipDoctype();
        }
        else if (StartsWith("</"))
        {
            understood = ReadEndTag(open);
        }
        else
        {
            understood = ReadStartTag(open);
        }
        if (!understood)
            return;
    }
}

void DocumentScanner::AfterRoot(size_t offset)
{
    Report(offset, "the document goes on after the end of its root element; the reader stops there and reads "
                   "nothing of what follows.");
    m_bStopped = true;
}

void DocumentScanner::OnText(size_t begin, size_t end)
{
    size_t first = begin;
    while (first < end && IsXmlSpace(m_text[first]))
        ++first;
    if (m_bRootEnded)
    {
        if (first < end)
            AfterRoot(first);
        return;
    }
    if (m_stack.empty() || m_stack.back().bSkipped)
        return;
    OpenElement& top = m_stack.back();
    if ((top.kind == KindFieldBlock || top.kind == KindComment) && !top.bChildSeen)
    {
        if (end > begin)
            top.block.content.push_back(TextRange{begin, end});
        return;
    }
    if (first == end)
        return;
    std::string quoted = Excerpt(m_text.substr(first, std::min(end - first, (size_t)200)));
    if (top.bChildSeen && (top.kind == KindFieldBlock || top.kind == KindComment))
        Report(first, "the text " + quoted + " follows a child element of <" + top.name +
                          ">; only the text before the first child is read.");
    else
        Report(first, "the text " + quoted + " stands between the elements of <" + top.name +
                          "> and is not read.");
}

// An empty-element tag of an unknown name ends the reader's innermost level.
void DocumentScanner::SkippedEmptyElement(const std::string& name, size_t offset)
{
    std::string ended = m_levels.back().name;
    m_levels.pop_back();
    if (m_levels.empty())
    {
        Report(offset, "the reader takes the empty element <" + name + "/> as the end of <" + ended +
                           "> and reads nothing after it.");
        m_bStopped = true;
        return;
    }
    Report(offset, "the reader takes the empty element <" + name + "/> as the end of <" + ended +
                       ">, and reads what follows out of step with the document.");
}

void DocumentScanner::OnStartTag(const std::string& name, const std::vector<Attribute>& attributes, bool empty,
                                 size_t offset)
{
    if (m_bRootEnded)
    {
        AfterRoot(offset);
        return;
    }
    OpenElement* parent = m_stack.empty() ? nullptr : &m_stack.back();
    OpenElement element;
    element.name = name;
    element.kind = KindOf(name);
    element.bSkipped = element.kind == KindUnknown || (parent != nullptr && parent->bSkipped);
    element.bChildSeen = false;
    element.bRowsRead = false;
    element.block.nTagOffset = offset;
    element.block.nWidth = 0;
    element.block.bWidthUsable = false;
    if (parent != nullptr)
    {
        parent->bChildSeen = true;
        element.block.fieldName = parent->block.fieldName;
    }

    bool seenByReader = !(parent != nullptr && parent->bSkipped);
    if (seenByReader && element.kind == KindUnknown && !m_bReaderStarted)
    {
        m_bStopped = true;   // an unknown root element: the reader makes no model
        return;
    }
    if (seenByReader && element.kind == KindUnknown && empty)
    {
        SkippedEmptyElement(name, offset);
        return;
    }
    if (seenByReader && !element.bSkipped)
    {
        ReaderParent readerParent = m_levels.empty() ? ParentNone : m_levels.back().parent;
        if (!m_bReaderStarted && element.kind != KindRoot)
        {
            m_bStopped = true;   // the reader fails: no model yet
            return;
        }
        m_bReaderStarted = true;
        ReaderParent childParent = readerParent;
        switch (element.kind)
        {
        case KindRoot:
            if (readerParent != ParentNone)
            {
                m_bStopped = true;   // a second root element: the reader fails
                return;
            }
            CheckRootAttributes(attributes, offset);
            childParent = ParentRoot;
            break;
        case KindComment:
            if (++m_nComments > 1)
                Report(offset, "this Comment element replaces the comment read before it.");
            break;
        case KindDataField:
            CheckFieldAttributes(attributes, offset, element);
            childParent = ParentDataField;
            break;
        case KindFieldBlock:
            CheckBlockAttributes(attributes, offset, element);
            if (readerParent != ParentDataField)
            {
                // A start tag here fails the read; an empty-element tag is dropped quietly.
                if (!empty)
                {
                    m_bStopped = true;
                    return;
                }
                Report(offset, "a field block that is not directly inside a data field is ignored.");
            }
            else
            {
                element.bRowsRead = !empty;
                if (empty)
                    Report(offset, "the field block holds no rows; the reader adds no block for it.");
            }
            break;
        case KindUnknown:
            break;
        }
        if (!empty)
            m_levels.push_back(ReaderLevel{childParent, name});
    }

    if (empty)
    {
        if (m_stack.empty())
            m_bRootEnded = true;
        return;
    }
    m_stack.push_back(element);
}

void DocumentScanner::OnEndTag(size_t offset)
{
    if (m_bRootEnded)
    {
        AfterRoot(offset);
        return;
    }
    if (m_stack.empty())
    {
        m_bStopped = true;
        return;
    }
    OpenElement element = m_stack.back();
    m_stack.pop_back();
    if (m_stack.empty())
        m_bRootEnded = true;
    if (element.bSkipped)
        return;   // the reader passed over it with the skipped element

    if (element.bRowsRead)
    {
        if (element.block.content.empty())
        {
            Report(element.block.nTagOffset, "the field block holds no rows; the reader adds no block for it.");
        }
        else
        {
            std::vector<TextFinding> rows;
            ScanBlockRows(m_text, element.block, rows);
            for (const TextFinding& row : rows)
                Report(row.nOffset, row.text);
        }
    }
    if (m_levels.empty())
        return;
    std::string ended = m_levels.back().name;
    m_levels.pop_back();
    if (m_levels.empty() && !m_bRootEnded)
    {
        // The reader is a level short: this end tag closes its root level.
        Report(offset, "the reader takes this end tag as the end of <" + ended +
                           "> and reads nothing after it.");
        m_bStopped = true;
    }
}

void DocumentScanner::CheckRootAttributes(const std::vector<Attribute>& attributes, size_t offset)
{
    if (FindAttribute(attributes, "version") == nullptr)
        Report(offset, "the root element has no \"version\"; the model gets no version.");
}

void DocumentScanner::CheckFieldAttributes(const std::vector<Attribute>& attributes, size_t offset,
                                           OpenElement& field)
{
    const Attribute* name = FindAttribute(attributes, "name");
    if (name == nullptr)
        Report(offset, "the data field has no \"name\".");
    field.block.fieldName = name != nullptr ? name->value : std::string();

    const Attribute* checksum = FindAttribute(attributes, "checksum");
    if (checksum == nullptr)
        return;
    const std::string& text = checksum->value;
    bool wellFormed = text.size() == 6 && text[0] == '0' && text[1] == 'x';
    for (size_t i = 2; i < text.size() && wellFormed; ++i)
        wellFormed = IsHexDigit(text[i]);
    if (wellFormed)
        return;
    // The reader takes characters 3 to 6 as the digits; any other character counts as 0.
    unsigned int value = 0;
    for (size_t i = 2; i < 6; ++i)
        value = (value << 4) | (unsigned int)(i < text.size() ? util_HexAnsi2Hex(text[i]) : 0);
    char read[16];
    snprintf(read, sizeof(read), "0x%04X", value);
    Report(offset, "\"checksum\" is " + Excerpt(text) + ", not \"0x\" and four hexadecimal digits; the reader takes it as " +
                       read + ".");
}

void DocumentScanner::CheckBlockAttributes(const std::vector<Attribute>& attributes, size_t offset,
                                           OpenElement& block)
{
    const Attribute* width = FindAttribute(attributes, "row_width");
    if (width == nullptr)
    {
        Report(offset, "the field block has no \"row_width\"; the reader takes its rows as 0 bits wide.");
        return;
    }
    const std::string& text = width->value;
    bool digits = !text.empty() && text.size() <= 10;
    for (size_t i = 0; i < text.size() && digits; ++i)
        digits = text[i] >= '0' && text[i] <= '9';
    long long value = digits ? std::stoll(text) : 0;
    if (!digits || value > INT_MAX)
    {
        Report(offset, "\"row_width\" is " + Excerpt(text) +
                           ", which is not a whole number of bits the reader can hold; its rows are not checked.");
        return;
    }
    block.block.nWidth = value;
    block.block.bWidthUsable = true;
}

}

void ScanDocument(const std::string& document, std::vector<CheckFinding>& findings)
{
    DocumentScanner scanner(document, findings);
    scanner.Run();
}
