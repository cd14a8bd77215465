// XMLParserSettings (implemented in XMLParser.cpp). Internal to the parser library.
#ifndef RIZEROZ_XMLPARSERSETTINGS_H
#define RIZEROZ_XMLPARSERSETTINGS_H

#include "XMLParser.h"

class ErrorHandler;

// The parser's settings, kept across documents: the default folder and the document type
// file (owned texts, or null), whether refused elements are skipped, the size limits,
// where warnings go (null while they are off) and the document's name in them.
class XMLParserSettings
{
public:
    XMLParserSettings() = default;
    XMLParserSettings(const XMLParserSettings&) = delete;
    XMLParserSettings& operator=(const XMLParserSettings&) = delete;
    ~XMLParserSettings()
    {
        delete[] m_pszDefaultDir;
        delete[] m_pszDTD;
    }

    // Takes `other`'s settings: copies of its texts (std::bad_alloc when memory runs
    // out), warnings going to `warnings` when `other`'s are on, and `document` as the
    // name in warnings.
    void CopyFrom(const XMLParserSettings& other, ErrorHandler* warnings, const char* document);

    char* DefaultDir() const { return m_pszDefaultDir; }
    // Takes ownership of `dir` (or null).
    void AdoptDefaultDir(char* dir)
    {
        delete[] m_pszDefaultDir;
        m_pszDefaultDir = dir;
    }
    char* DTD() const { return m_pszDTD; }
    // Keeps a copy of `path`; std::bad_alloc when memory runs out.
    void SetDTD(const char* path);
    bool SkipsInvalidElement() const { return m_bSkipInvalidElement; }
    void EnableSkipInvalidElement() { m_bSkipInvalidElement = true; }
    // Longest element text taken, in bytes, and longest tag (or name) kept whole in the
    // window; 0 stands for the default, and a tag limit above it for the default too.
    unsigned int MaxText() const { return m_nMaxText; }
    unsigned int MaxTag() const { return m_nMaxTag; }
    void SetSizeLimits(unsigned int maxText, unsigned int maxTag)
    {
        m_nMaxText = maxText == 0 ? XML_MAX_TEXT : maxText;
        m_nMaxTag = maxTag == 0 || maxTag > XML_MAX_TAG ? XML_MAX_TAG : maxTag;
    }
    // Element texts lent where they lie in the document's bytes (XMLParser::LendContent).
    bool LendsContent() const { return m_bLendContent; }
    void SetLendContent(bool lend) { m_bLendContent = lend; }
    ErrorHandler* Warnings() const { return m_pWarnings; }
    void SetWarnings(ErrorHandler* warnings) { m_pWarnings = warnings; }
    const char* Document() const { return m_pszDocument; }
    void SetDocument(const char* document) { m_pszDocument = document; }

private:
    char* m_pszDefaultDir = nullptr;
    char* m_pszDTD = nullptr;
    bool m_bSkipInvalidElement = false;
    bool m_bLendContent = false;
    unsigned int m_nMaxText = XML_MAX_TEXT;
    unsigned int m_nMaxTag = XML_MAX_TAG;
    ErrorHandler* m_pWarnings = nullptr;
    const char* m_pszDocument = nullptr;   // the parser's member
};

#endif
