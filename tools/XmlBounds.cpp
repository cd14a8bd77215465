// The scan that keeps libxml2 within the tool's bounds (XmlBounds.h). It follows the
// markup byte by byte as a well-formed document writes it; where the document is not
// well-formed, libxml2 stops at the fault before the scan could have gone astray.
#include "XmlBounds.h"

#include <string.h>

#include <algorithm>
#include <cctype>

#include "XMLParser.h"

namespace
{
const std::string kBeyond = "libxml2 checks the document only this far: ";
const std::string kNotChecked = "libxml2 does not check the document: ";

// True for the encodings that write markup as US-ASCII does, in single bytes.
bool WritesAscii(std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return (char)toupper(c); });
    for (const char* family : {"ISO-8859-", "ISO8859-", "ISO_8859-", "ISO-LATIN-", "LATIN", "WINDOWS-125", "CP125"})
        if (name.compare(0, strlen(family), family) == 0)
            return true;
    return name == "UTF-8" || name == "UTF8" || name == "US-ASCII" || name == "ASCII";
}

// The encoding that the XML declaration `text` ("<?xml ... ?>") names; empty for none.
std::string DeclaredEncoding(const std::string& text)
{
    size_t at = text.find("encoding");
    if (at != std::string::npos)
        at = text.find_first_of("\"'", at);
    size_t end = at != std::string::npos ? text.find(text[at], at + 1) : std::string::npos;
    return end != std::string::npos ? text.substr(at + 1, end - at - 1) : std::string();
}

// True when `lead` begins `word` (or is it).
bool Begins(const std::string& lead, const char* word)
{
    return lead.size() <= strlen(word) && strncmp(word, lead.c_str(), lead.size()) == 0;
}
}

size_t XmlBounds::Scan(const char* bytes, size_t size)
{
    const unsigned long long base = m_at;
    size_t at = 0;
    while (at < size && !m_passed)
    {
        if (m_state == kText && m_at >= 4)
        {
            // Text goes by at the speed of memchr.
            const char* next = (const char*)memchr(bytes + at, '<', size - at);
            size_t run = next != nullptr ? (size_t)(next - (bytes + at)) : size - at;
            at += run;
            m_at += run;
            if (m_at - m_start > XML_MAX_TEXT)
                Pass(m_start, kBeyond + "the text here is longer than 4294967295 bytes, the reader's limit");
            if (next == nullptr || m_passed)
                break;
        }
        Step((unsigned char)bytes[at]);
        if (!m_passed)
        {
            ++at;
            ++m_at;
        }
    }
    if (!m_passed)
        return size;
    return m_place >= base ? (size_t)(m_place - base) : at;
}

void XmlBounds::Step(unsigned char c)
{
    if (m_at < 4)
        CheckStart(c);
    if (m_passed)
        return;
    switch (m_state)
    {
    case kText:
        if (c == '<')
        {
            m_start = m_at;
            m_state = kMarkup;
        }
        break;
    case kMarkup:
        StepMarkup(c);
        break;
    case kStartTag:
    case kEndTag:
        StepTag(c);
        break;
    case kQuoted:
        if (c == m_quote)
            m_state = m_afterQuote;
        else if (m_countQuoted && (c == '=' || c == '&') && ++m_count > kMostAttributes)
            Pass(m_start, kBeyond + "the quoted text here holds more than 1000 '=' and '&', the most the tool lets the "
                                    "text of an entity hold");
        break;
    case kBang:
        StepBang(c);
        break;
    case kDocType:
    case kSubset:
        StepDocumentType(c);
        break;
    default:
        StepEnclosed(c);
        break;
    }
    bool tag = m_state == kMarkup || m_state == kStartTag || m_state == kEndTag ||
               (m_state == kQuoted && m_afterQuote == kStartTag);
    bool sized = m_state != kText && m_state != kDocType && m_state != kSubset;
    if (!m_passed && sized && m_at - m_start >= (tag ? XML_MAX_TAG : XML_MAX_TEXT))
        Pass(m_start,
             kBeyond + (tag ? "the tag here is longer than 2147483632 bytes, the reader's limit"
                            : "the markup here is longer than 4294967295 bytes, the reader's limit for a text"));
    m_beforeLast = m_last;
    m_last = c;
}

// After '<'.
void XmlBounds::StepMarkup(unsigned char c)
{
    if (c == '/')
        m_state = kEndTag;
    else if (c == '!')
    {
        m_lead.clear();
        m_state = kBang;
    }
    else if (c == '?')
    {
        m_lead = "<?";
        m_state = kInstruction;
    }
    else if (m_inSubset)
        m_state = kDeclaration;   // not well-formed: libxml2 stops here
    else if (m_depth >= XML_MAX_DEPTH)
        Pass(m_start, kBeyond + "the element here is nested more than 1000 levels deep, the reader's limit");
    else
    {
        m_starts.push_back(m_start);
        m_count = 0;
        m_state = kStartTag;
    }
}

unsigned long long XmlBounds::NextStart()
{
    unsigned long long start = m_starts.empty() ? 0 : m_starts.front();
    if (!m_starts.empty())
        m_starts.pop_front();
    return start;
}

// In a start tag or an end tag, out of quotes.
void XmlBounds::StepTag(unsigned char c)
{
    if (m_state == kEndTag)
    {
        if (c == '>')
        {
            m_depth -= m_depth > 0 ? 1 : 0;
            Leave();
        }
    }
    else if (c == '"' || c == '\'')
    {
        m_quote = c;
        m_afterQuote = kStartTag;
        m_countQuoted = false;
        m_state = kQuoted;
    }
    else if (c == '=' && ++m_count > kMostAttributes)
        Pass(m_start, kBeyond + "the element here has more than 1000 attributes, the most the tool hands libxml2");
    else if (c == '>')
    {
        m_depth += m_last != '/' ? 1 : 0;
        Leave();
    }
}

// After "<!": a comment, a CDATA section, the document type, or a declaration.
void XmlBounds::StepBang(unsigned char c)
{
    m_lead += (char)c;
    if (m_lead == "--")
        m_state = kComment;
    else if (!m_inSubset && m_lead == "[CDATA[")
        m_state = kSection;
    else if (!m_inSubset && m_lead == "DOCTYPE")
        m_state = kDocType;
    else if (!Begins(m_lead, "--") && (m_inSubset || (!Begins(m_lead, "[CDATA[") && !Begins(m_lead, "DOCTYPE"))))
    {
        m_state = kDeclaration;
        StepEnclosed(c);
    }
}

// In "<!DOCTYPE ...>", out of quotes, or in its internal subset between declarations.
void XmlBounds::StepDocumentType(unsigned char c)
{
    if (m_state == kSubset)
    {
        if (c == '<')
        {
            m_start = m_at;
            m_state = kMarkup;
        }
        else if (c == ']')
        {
            m_inSubset = false;
            m_state = kDocType;
        }
    }
    else if (c == '"' || c == '\'')
    {
        m_quote = c;
        m_afterQuote = kDocType;
        m_countQuoted = false;
        m_state = kQuoted;
    }
    else if (c == '[')
    {
        m_inSubset = true;
        m_state = kSubset;
    }
    else if (c == '>')
        Leave();
}

// In a comment, a CDATA section, a processing instruction or a declaration, each until
// its end.
void XmlBounds::StepEnclosed(unsigned char c)
{
    if (m_state == kComment && c == '>' && m_last == '-' && m_beforeLast == '-')
        Leave();
    else if (m_state == kSection && c == '>' && m_last == ']' && m_beforeLast == ']')
        Leave();
    else if (m_state == kInstruction)
    {
        if (m_start <= 3 && m_lead.size() < 1024)
            m_lead += (char)c;
        if (c == '>' && m_last == '?')
        {
            CheckDeclaration();
            Leave();
        }
    }
    else if (m_state == kDeclaration && (c == '"' || c == '\''))
    {
        // An entity's text may make elements where it is referred to: its '=' and '&'
        // (which may stand for '=') count as attributes would.
        m_quote = c;
        m_afterQuote = kDeclaration;
        m_countQuoted = true;
        m_count = 0;
        m_state = kQuoted;
    }
    else if (m_state == kDeclaration && c == '>')
        Leave();
}

void XmlBounds::Leave()
{
    m_state = m_inSubset ? kSubset : kText;
    m_start = m_at + 1;
}

void XmlBounds::Pass(unsigned long long place, const std::string& finding)
{
    m_passed = true;
    m_place = place;
    m_finding = finding;
}

// The first bytes: markup in single bytes, or libxml2 would read another encoding (a
// byte order mark of UTF-16 or UTF-32, their '<', or EBCDIC's "<?xm").
void XmlBounds::CheckStart(unsigned char c)
{
    m_head = (m_head << 8) | c;
    bool wide = c == 0 || (m_at == 0 && (c == 0xFE || c == 0xFF));
    if (wide || (m_at == 3 && m_head == 0x4C6FA794u))
        Pass(0, kNotChecked + "its markup is not written in single bytes (it is in UTF-16, UTF-32 or EBCDIC), and the "
                              "tool follows only such markup to keep libxml2 within its bounds");
}

// At the end of a processing instruction: the XML declaration names an encoding whose
// markup the scan can follow.
void XmlBounds::CheckDeclaration()
{
    bool declaration = m_start <= 3 && m_lead.compare(0, 5, "<?xml") == 0 && m_lead.size() > 5 &&
                       (m_lead[5] == ' ' || m_lead[5] == '\t' || m_lead[5] == '\r' || m_lead[5] == '\n');
    std::string name = declaration ? DeclaredEncoding(m_lead) : std::string();
    if (!name.empty() && !WritesAscii(name))
        Pass(m_start, kNotChecked + "it names the encoding \"" + name +
                          "\", and the tool follows only markup in UTF-8, US-ASCII, ISO-8859-n or windows-125n to keep "
                          "libxml2 within its bounds");
}
