// The bounds within which `rizeroz check` hands a document to libxml2 (XmlCheck.cpp): a scan
// of the bytes on their way to libxml2 follows the markup and stops them before the first
// construct beyond a bound, so that libxml2 never meets it. libxml2 takes time that grows
// with the square of an element's attributes, and its checks of validity call themselves
// once a level of nesting; the reader refuses what nests deeper than 1000 levels, and
// holds no tag or text beyond its own limits. The bounds:
//  - nesting: 1000 levels (XML_MAX_DEPTH, the reader's limit);
//  - attributes: 1000 in one tag, and 1000 '=' and '&' in one quoted value of the
//    document type (an entity's text, from which elements may come);
//  - size: a tag of XML_MAX_TAG bytes, a text, comment, processing instruction, CDATA
//    section or declaration of XML_MAX_TEXT bytes (the reader's limits);
//  - encoding: the markup must be written in single bytes (UTF-8, US-ASCII, ISO-8859-n,
//    windows-125n), as the scan reads it; a document in UTF-16, UTF-32 or EBCDIC, or one
//    that names another encoding, is not handed on at all.
#ifndef RIZEROZ_TOOLS_XMLBOUNDS_H
#define RIZEROZ_TOOLS_XMLBOUNDS_H

#include <stddef.h>

#include <deque>
#include <string>

class XmlBounds
{
public:
    static const size_t kMostAttributes = 1000;

    // Scans the next `size` bytes of the document; returns how many of them libxml2 may
    // have: all, unless a bound is passed in them, and then those before the construct
    // beyond it (or before the byte where it shows, when the construct began earlier).
    size_t Scan(const char* bytes, size_t size);

    bool Passed() const { return m_passed; }
    // Where the construct beyond the bound begins, as an offset in the document, and what
    // it is, as a sentence without a place.
    unsigned long long Place() const { return m_place; }
    const std::string& Finding() const { return m_finding; }
    // Where the construct that the bytes scanned so far end in began, for a document
    // whose bytes end early (libxml2 then says of that construct that it ends early): its
    // '<' when they end in markup, or the offset past them when they end in text.
    unsigned long long OpenSince() const { return m_state == kText ? m_at : m_start; }
    // The offset of the next start tag of the document that libxml2 has not reported yet:
    // the scan runs ahead of libxml2 by what libxml2 holds unread, and libxml2 reports the
    // document's elements in the order of their start tags. 0 when there is none.
    unsigned long long NextStart();

private:
    enum State
    {
        kText,
        kMarkup,     // after '<'
        kStartTag,   // in a start tag or empty-element tag, out of quotes
        kQuoted,     // in quotes: an attribute value, a literal of the document type
        kEndTag,
        kBang,   // after "<!", until it shows what comes
        kComment,
        kSection,       // a CDATA section
        kInstruction,   // a processing instruction, the XML declaration too
        kDeclaration,   // "<!ELEMENT ...>" and the like, out of quotes
        kDocType,       // "<!DOCTYPE ...", out of quotes and out of its internal subset
        kSubset         // the internal subset, between declarations
    };

    void Step(unsigned char c);
    void StepMarkup(unsigned char c);
    void StepTag(unsigned char c);
    void StepBang(unsigned char c);
    void StepDocumentType(unsigned char c);
    void StepEnclosed(unsigned char c);
    void Leave();   // back to the text, or to the internal subset
    void Pass(unsigned long long place, const std::string& finding);
    void CheckStart(unsigned char c);
    void CheckDeclaration();

    State m_state = kText;
    State m_afterQuote = kStartTag;
    bool m_inSubset = false;
    bool m_passed = false;
    bool m_countQuoted = false;   // '=' and '&' in quotes count (an entity's text)
    unsigned char m_quote = 0;
    unsigned char m_last = 0, m_beforeLast = 0;
    unsigned int m_head = 0;          // the first four bytes
    unsigned long long m_at = 0;      // the offset of the byte being scanned
    unsigned long long m_start = 0;   // where the construct being scanned began
    unsigned long long m_place = 0;
    size_t m_depth = 0;
    size_t m_count = 0;                        // attributes of the tag, or '=' and '&' of the quoted value
    std::deque<unsigned long long> m_starts;   // start tags scanned and not reported yet
    std::string m_lead;                        // what follows "<!", or the XML declaration
    std::string m_finding;
};

#endif
