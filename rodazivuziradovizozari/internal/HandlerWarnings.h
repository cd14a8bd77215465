// The warnings of a read (docs/warnings.md): an observer beside the reader. The handler
// tells it what it reads as it reads it: the elements whose children it reads, the
// elements it skips, ends or drops, the root, comment, data field and field block elements
// it takes, and each row as the row machine kept it (SVFRowRecord, RowScanner.h). It says
// what the reader took leniently, at the exact place, in the sentences of its kind's
// pattern (ReadWarnings.h), and changes nothing that is read. It never walks a row's text:
// what it says of a row comes from the row's record (the one text it quotes from a row,
// an expression that does not evaluate, it quotes from where the record points, its
// first characters). Internal to the handler, which makes one for each Read with warnings
// on (HandlerRead.cpp).
#ifndef RIZEROZ_HANDLERWARNINGS_H
#define RIZEROZ_HANDLERWARNINGS_H

#include <initializer_list>
#include <string>
#include <vector>

#include "SVFPlusData.h"
#include "XMLParser.h"

class ErrorHandler;
class UtByteBuffer;
class XMLNode;
struct SVFRowRecord;

// Where things stand in the document: what the warnings ask of the parser, which the
// handler lends them for a Read.
class SVFDocumentPlaces
{
public:
    virtual ~SVFDocumentPlaces() {}
    // Line, column and offset of the tag the last scan produced.
    virtual XMLPlace TagPlace() = 0;
    // Of byte `index` of the current start tag's element text; false outside the text.
    virtual bool ContentPlace(unsigned int index, XMLPlace* place) = 0;
    // Of the value of attribute `name` of `tag`, the tag the last scan produced (the tag's
    // own place when it has no such attribute).
    virtual XMLPlace AttributePlace(XMLNode* tag, const char* name) = 0;
    // The CDATA sections and comments that stood in the current start tag's element text:
    // how many, and where each begins.
    virtual int MarkupCount() = 0;
    virtual bool Markup(int index, XMLPlace* place, bool* cdata) = 0;
};

// What the handler tells as it reads (the warnings are told so): each call does nothing
// here, so that a Read without warnings tells this observer and asks nothing.
class SVFReadObserver
{
public:
    SVFReadObserver() {}
    virtual ~SVFReadObserver() {}
    SVFReadObserver(const SVFReadObserver&) = delete;
    SVFReadObserver& operator=(const SVFReadObserver&) = delete;

    // The reader reads the children of the element `name` from now on, until Closed.
    virtual void Opened(const char*) {}
    virtual void Closed() {}
    // An element the reader does not read, passed over: its start tag `tag`, skipped with
    // everything in it, or an empty-element tag (`empty`), which ends the reader's current
    // element when there is one.
    virtual void Skipped(XMLNode*, bool) {}
    // An end tag: it ends the reader's current element, whichever element it closes.
    virtual void EndTag(XMLNode*) {}
    // An empty-element tag the reader could not take (it failed with `code`): dropped.
    virtual void Dropped(XMLNode*, int) {}
    // The root element's start tag `tag` and its text before its first child.
    virtual void Root(XMLNode*, const unsigned char*, unsigned int) {}
    // A Comment element; the model's comment is `comment` now.
    virtual void Comment(const char*) {}
    // The start tag `tag` of the element that made field `index`, and its element text.
    virtual void DataField(XMLNode*, SVFDataField*, int, const unsigned char*, unsigned int) {}
    // The start tag `tag` of a field block element of field `index`, before its rows are
    // added: rows `width` bits wide, in an element text of `size` bytes.
    virtual void Block(XMLNode*, SVFDataField*, int, int, unsigned int) {}
    // A row of that block, complete: the last row of the field's last block, as the row
    // machine kept it while it passed the element's text at `text`.
    virtual void Row(const unsigned char*, const SVFRowRecord&) {}
};

class SVFReadWarnings : public SVFReadObserver
{
public:
    // Warnings go to `errors`, placed by `places`, the document named `document` in them.
    SVFReadWarnings(SVFDocumentPlaces& places, ErrorHandler& errors, const char* document);

    void Opened(const char* name) override;
    void Closed() override;
    void Skipped(XMLNode* tag, bool empty) override;
    void EndTag(XMLNode* tag) override;
    void Dropped(XMLNode* tag, int code) override;
    void Root(XMLNode* tag, const unsigned char* text, unsigned int size) override;
    void Comment(const char* comment) override;
    void DataField(XMLNode* tag, SVFDataField* field, int index, const unsigned char* text, unsigned int size) override;
    void Block(XMLNode* tag, SVFDataField* field, int index, int width, unsigned int size) override;
    void Row(const unsigned char* text, const SVFRowRecord& record) override;

private:
    // True when a warning would be kept in full; else it is counted, and false: a warning
    // that would only be counted is not composed.
    bool Wanted();
    void Say(int code, const XMLPlace& at, std::initializer_list<std::string> texts);
    void AtTag(int code, std::initializer_list<std::string> texts);
    void AtContent(int code, unsigned int index, std::initializer_list<std::string> texts);
    void AtAttribute(int code, XMLNode* tag, const char* name, const char* value, size_t offset,
                     std::initializer_list<std::string> texts);
    void KeptText(const char* what, const char* text, XMLNode* tag, const char* attribute);
    void ElementText(const char* element, const unsigned char* text, unsigned int size);
    void Checksum(XMLNode* tag, SVFDataField* field, int index);
    bool RowWidthWritten(XMLNode* tag, int width);
    void RowMarkup();
    void RowExpression(const unsigned char* text, const SVFRowRecord& record, long long widthBytes);
    unsigned int IndexOf(const unsigned char* text, const unsigned char* at) const;
    std::string BlockField() const;
    std::string RowName() const;
    const char* Ending() const;

    SVFDocumentPlaces& m_places;
    ErrorHandler& m_errors;
    const char* m_pszDocument;
    // The elements whose children the reader is reading, innermost last: an end tag or an
    // empty element ends the innermost one, whatever the document says.
    std::vector<std::string> m_levels;
    bool m_bCommentSeen = false;   // a Comment element was read
    // The field block being read: its field and the field's index, its width, the size of
    // its text, and whether its rows are held to a width written as it should be.
    SVFDataField* m_pField = nullptr;
    int m_nField = 0;
    int m_nWidth = 0;
    unsigned int m_nSize = 0;
    bool m_bWidthChecked = false;
};

// The sentence of the failure of a row that breaks the hexadecimal row syntax, the last
// row of the last block of `field` (field `index`), as its record tells: what was found
// and what was due.
std::string SVFRowSyntaxSentence(SVFDataField* field, int index, const SVFRowRecord& record);

#endif
