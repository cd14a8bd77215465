// How far the scan of one document has come, and what it keeps on the way: the places of
// the current start tag's text and attributes, the text noted for a warning, the place of
// the first NUL byte and the failure place the derived class set (XMLParser.cpp
// implements the places and the failure place). Internal to the parser library.
#ifndef RIZEROZ_XMLSCANPROGRESS_H
#define RIZEROZ_XMLSCANPROGRESS_H

#include <stddef.h>

#include <string>
#include <vector>

#include "XMLLocator.h"
#include "XMLParser.h"

// Where a run of an element's text (m_pContent) begins in the document: the text starts
// one run, and so does what follows each CDATA section's start and end and each comment.
struct XMLContentRun
{
    unsigned int nIndex = 0;   // first byte of the run in the text
    long nLine = 0;
    long nColumn = 0;
    unsigned long long nOffset = 0;   // the document offset of that byte
};

// A CDATA section or comment inside an element's text, at its '<'.
struct XMLContentMarkup
{
    long nLine;
    long nColumn;
    bool bCdata;
    unsigned long long nOffset;
};

// The places of the current start tag's text: where each run of it begins (the text
// starts one run, and so does what follows each CDATA section's start and end and each
// comment), the CDATA sections and comments in it, and the place GetContentPlace worked
// out last.
class XMLContentPlaces
{
public:
    void Clear()
    {
        m_aRuns.clear();
        m_aMarkup.clear();
        m_cursor.nLine = 0;
    }
    void AddRun(const XMLContentRun& run) { m_aRuns.push_back(run); }
    void AddMarkup(const XMLContentMarkup& markup) { m_aMarkup.push_back(markup); }
    size_t MarkupCount() const { return m_aMarkup.size(); }
    const XMLContentMarkup& Markup(size_t index) const { return m_aMarkup[index]; }
    // Where counting towards text byte `index` starts: the start of the run that holds it,
    // or the place worked out last when that lies in the same run, at or before `index`
    // (so that places asked for in order cost one pass over the text). False when the
    // text has no runs.
    bool CountFrom(unsigned int index, XMLContentRun* from) const;
    // The place just worked out.
    void KeepCursor(const XMLContentRun& at) { m_cursor = at; }

private:
    std::vector<XMLContentRun> m_aRuns;
    std::vector<XMLContentMarkup> m_aMarkup;
    XMLContentRun m_cursor;
};

// Text that GatherText passes over after a child element: while noting is on, the first
// run that is not white space, its place and its first 40 bytes.
class XMLNotedText
{
public:
    bool IsNoting() const { return m_bNoting; }
    void SetNoting(bool noting) { m_bNoting = noting; }
    // Noting is on and nothing is noted yet.
    bool Wants() const { return m_bNoting && !m_bNoted; }
    void Note(const XMLTextPosition& at, const char* text, size_t count)
    {
        m_bNoted = true;
        m_at = at;
        m_sText.assign(text, count < 40 ? count : 40);
    }
    // True when a text was noted, which is then forgotten (its place and text stay).
    bool Take()
    {
        bool noted = m_bNoted;
        m_bNoted = false;
        return noted;
    }
    const XMLTextPosition& Place() const { return m_at; }
    const std::string& Text() const { return m_sText; }

private:
    bool m_bNoting = false;
    bool m_bNoted = false;
    XMLTextPosition m_at;
    std::string m_sText;
};

// The place and sentence that the derived class gives the failure it reports next
// (XMLParser::SetFailurePlace).
class XMLFailurePlace
{
public:
    // Without memory for the sentence, the place is kept with an empty one.
    void Place(const XMLPlace& at, const char* sentence);
    void Clear() { m_bPlaced = false; }
    bool IsPlaced() const { return m_bPlaced; }
    const XMLPlace& At() const { return m_at; }
    const char* Sentence() const { return m_sSentence.c_str(); }

private:
    bool m_bPlaced = false;
    XMLPlace m_at = {0, 0, -1};
    std::string m_sSentence;
};

// What else the scan of one document keeps: how far it has come, the places of the
// current start tag's text and attributes, the text noted for a warning, and the
// failure place the derived class set.
class XMLScanProgress
{
public:
    bool PrologDone() const { return m_bPrologDone; }
    void EndProlog() { m_bPrologDone = true; }
    // The root element has ended.
    bool Finished() const { return m_bFinished; }
    void Finish() { m_bFinished = true; }

    XMLContentPlaces& Content() { return m_content; }
    const XMLContentPlaces& Content() const { return m_content; }

    // With warnings on, the place of each attribute value of the last start or empty tag.
    void ClearAttributePlaces() { m_aAttributePlaces.clear(); }
    void AddAttributePlace(const XMLTextPosition& at) { m_aAttributePlaces.push_back(at); }
    size_t AttributePlaceCount() const { return m_aAttributePlaces.size(); }
    const XMLTextPosition& AttributePlace(size_t index) const { return m_aAttributePlaces[index]; }

    XMLNotedText& Noted() { return m_noted; }
    // The place of the first NUL byte of the document, once the window has met one.
    bool NulPlaced() const { return m_bNulPlaced; }
    const XMLTextPosition& NulPlace() const { return m_nulPlace; }
    void PlaceNul(const XMLTextPosition& at)
    {
        m_nulPlace = at;
        m_bNulPlaced = true;
    }
    XMLFailurePlace& FailurePlace() { return m_failurePlace; }
    const XMLFailurePlace& FailurePlace() const { return m_failurePlace; }

private:
    bool m_bPrologDone = false;
    bool m_bFinished = false;
    bool m_bNulPlaced = false;
    XMLTextPosition m_nulPlace;
    XMLContentPlaces m_content;
    std::vector<XMLTextPosition> m_aAttributePlaces;
    XMLNotedText m_noted;
    XMLFailurePlace m_failurePlace;
};

#endif
