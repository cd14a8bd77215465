// The warnings of a read (HandlerWarnings.h): what the reader takes leniently, said where
// it stands in the document, with the element, field, block and row it concerns, in the
// sentence pattern of its kind (ReadWarnings.h). Nothing here changes what is read.
#include "HandlerWarnings.h"

#include <stdio.h>
#include <string.h>

#include "ErrorHandler.h"
#include "RowScanner.h"
#include "RowWidth.h"
#include "UtByteBuffer.h"
#include "UtFastText.h"
#include "UtUtility.h"
#include "UtWarningText.h"
#include "XMLNode.h"
#include "XMLReference.h"

namespace
{
std::string Quote(const unsigned char* text, size_t length)
{
    char quoted[40];
    return util_QuoteText(quoted, (int)sizeof(quoted), (const char*)text, length);
}

std::string Quote(const char* text)
{
    return Quote((const unsigned char*)text, strlen(text));
}

std::string Number(long long value)
{
    return std::to_string(value);
}

std::string Counted(long long count, const char* one, const char* many)
{
    return Number(count) + " " + (count == 1 ? one : many);
}

std::string Bytes(long long count)
{
    return Counted(count, "byte", "bytes");
}

// "field "A"", or "field 2 (no name)", counted from 0.
std::string FieldLabel(SVFDataField* field, int index)
{
    const char* name = field->GetFieldName();
    if (name == nullptr)
        return "field " + Number(index) + " (no name)";
    return "field " + Quote(name);
}

// "0x" and four hexadecimal digits, as a checksum is written.
bool IsWrittenChecksum(const char* checksum)
{
    bool written = strlen(checksum) == 6 && checksum[0] == '0' && checksum[1] == 'x';
    for (size_t i = 2; written && i < 6; ++i)
        written = util_IsHexDigit(checksum[i]);
    return written;
}

// A "row_width" of digits (after a '-') whose number lies beyond the range of an int.
bool BeyondInt(const char* text, size_t length)
{
    size_t digits = text[0] == '-' ? 1 : 0, first = digits;
    while (first + 1 < length && text[first] == '0')
        ++first;
    return length - first > 10 ||
           (length - first == 10 && strcmp(text + first, digits ? "2147483648" : "2147483647") > 0);
}
}

SVFReadWarnings::SVFReadWarnings(SVFDocumentPlaces& places, ErrorHandler& errors, const char* document)
    : m_places(places), m_errors(errors), m_pszDocument(document)
{
}

bool SVFReadWarnings::Wanted()
{
    if (m_errors.KeepsWarnings())
        return true;
    m_errors.CountWarning();
    return false;
}

void SVFReadWarnings::Say(int code, const XMLPlace& at, std::initializer_list<std::string> texts)
{
    m_errors.AddWarning(code, m_pszDocument, at.nLine, at.nColumn, util_WarningSentence(code, texts).c_str(),
                        at.nOffset);
}

void SVFReadWarnings::AtTag(int code, std::initializer_list<std::string> texts)
{
    Say(code, m_places.TagPlace(), texts);
}

// At byte `index` of the element's text (at the tag, should the text not be placed).
void SVFReadWarnings::AtContent(int code, unsigned int index, std::initializer_list<std::string> texts)
{
    XMLPlace place;
    if (!m_places.ContentPlace(index, &place))
        place = m_places.TagPlace();
    Say(code, place, texts);
}

// At byte `offset` of `value`, the value of attribute `name` of `tag`: the value's place,
// then the line ends within it up to the byte.
void SVFReadWarnings::AtAttribute(int code, XMLNode* tag, const char* name, const char* value, size_t offset,
                                  std::initializer_list<std::string> texts)
{
    XMLPlace place = m_places.AttributePlace(tag, name);
    for (size_t i = 0; i < offset; ++i)
    {
        if (value[i] == '\n')
        {
            ++place.nLine;
            place.nColumn = 1;
        }
        else
        {
            ++place.nColumn;
        }
    }
    // The value's bytes are as written, so the offset moves on by as many.
    place.nOffset += place.nOffset >= 0 ? (long long)offset : 0;
    Say(code, place, texts);
}

void SVFReadWarnings::Opened(const char* name)
{
    m_levels.push_back(name);
}

void SVFReadWarnings::Closed()
{
    m_levels.pop_back();
}

// How an element that ends the reader's current one leaves the reading.
const char* SVFReadWarnings::Ending() const
{
    return m_levels.size() == 1 ? " and reads nothing after it"
                                : ", and reads what follows out of step with the document";
}

void SVFReadWarnings::Skipped(XMLNode* tag, bool empty)
{
    if (!Wanted())
        return;
    std::string name = tag != nullptr ? tag->GetNodeName() : "";
    if (!empty || m_levels.empty())
        AtTag(SVF_WARN_SKIPPED_ELEMENT, {empty ? "empty element <" + name + "/>" : "element <" + name + ">",
                                         empty ? "" : ", with everything in it"});
    else
        AtTag(SVF_WARN_EMPTY_ELEMENT_ENDS, {name, m_levels.back(), Ending()});
}

void SVFReadWarnings::EndTag(XMLNode* tag)
{
    if (m_levels.empty() || tag == nullptr || m_levels.back() == tag->GetNodeName() || !Wanted())
        return;
    AtTag(SVF_WARN_END_TAG_OUT_OF_STEP, {tag->GetNodeName(), m_levels.back(), Ending()});
}

void SVFReadWarnings::Dropped(XMLNode* tag, int code)
{
    if (tag != nullptr && Wanted())
        AtTag(SVF_WARN_IGNORED_EMPTY_ELEMENT, {tag->GetNodeName(), ErrorHandler::DescribeCode(code)});
}

// The version, a field's name (the value of `attribute` of `tag`) or the comment (the
// element's text, for a null `attribute`): references kept as written, and bytes that are
// not UTF-8, each at its first place.
void SVFReadWarnings::KeptText(const char* what, const char* text, XMLNode* tag, const char* attribute)
{
    if (text == nullptr)
        return;
    size_t length = strlen(text);
    auto warn = [&](int code, size_t at, std::initializer_list<std::string> texts) {
        if (!Wanted())
            return;
        if (attribute == nullptr)
            AtContent(code, (unsigned int)at, texts);
        else
            AtAttribute(code, tag, attribute, text, at, texts);
    };
    for (const char* amp = (const char*)memchr(text, '&', length); amp != nullptr;
         amp = (const char*)memchr(amp + 1, '&', length - (size_t)(amp + 1 - text)))
    {
        size_t reference = XMLReferenceLength(amp, length - (size_t)(amp - text));
        if (reference > 0)
        {
            warn(SVF_WARN_REFERENCE, (size_t)(amp - text), {what, Quote((const unsigned char*)amp, reference)});
            break;
        }
    }
    size_t bad = util_Utf8Prefix(text, length);
    if (bad < length)
    {
        char byte[8];
        snprintf(byte, sizeof(byte), "0x%02X", (unsigned char)text[bad]);
        warn(SVF_WARN_NOT_UTF8, bad, {what, byte});
    }
}

// Text of an element that reads none (the root element, a data field) before its first
// child: nobody's.
void SVFReadWarnings::ElementText(const char* element, const unsigned char* bytes, unsigned int size)
{
    if (size == 0 || bytes == nullptr)
        return;
    unsigned int first = 0;
    while (first < size && util_IsWhiteSpace((char)bytes[first]))
        ++first;
    if (first < size && Wanted())
        AtContent(SVF_WARN_TEXT_NOT_READ, first, {Quote(bytes + first, size - first), element});
}

void SVFReadWarnings::Root(XMLNode* tag, const unsigned char* text, unsigned int size)
{
    const char* version = tag->GetNodeAttributeValue("version");
    if (version == nullptr && Wanted())
        AtTag(SVF_WARN_NO_VERSION, {});
    KeptText("the version", version, tag, "version");
    ElementText("SVF_Plus_Data", text, size);
}

void SVFReadWarnings::Comment(const char* comment)
{
    if (m_bCommentSeen && Wanted())
        AtTag(SVF_WARN_COMMENT_REPLACED, {});
    m_bCommentSeen = true;
    KeptText("the comment", comment, nullptr, nullptr);
}

void SVFReadWarnings::DataField(XMLNode* tag, SVFDataField* field, int index, const unsigned char* text,
                                unsigned int size)
{
    const char* name = tag->GetNodeAttributeValue("name");
    if (name == nullptr && Wanted())
        AtTag(SVF_WARN_NO_NAME, {Number(index)});
    KeptText(("the name of data field " + Number(index)).c_str(), name, tag, "name");
    Checksum(tag, field, index);
    ElementText("DataField", text, size);
}

// A "checksum" that is not "0x" and four hexadecimal digits.
void SVFReadWarnings::Checksum(XMLNode* tag, SVFDataField* field, int index)
{
    const char* checksum = tag->GetNodeAttributeValue("checksum");
    if (checksum == nullptr || IsWrittenChecksum(checksum) || !Wanted())
        return;
    char read[16];
    snprintf(read, sizeof(read), "0x%04X", field->m_nChecksum);
    AtAttribute(SVF_WARN_CHECKSUM, tag, "checksum", checksum, 0, {Quote(checksum), FieldLabel(field, index), read});
}

// The field block's "row_width": missing, not a plain whole number, or beyond an int.
// True when it is written as it should be.
bool SVFReadWarnings::RowWidthWritten(XMLNode* tag, int width)
{
    const char* text = tag->GetNodeAttributeValue("row_width");
    if (text == nullptr)
    {
        if (Wanted())
            AtTag(SVF_WARN_NO_ROW_WIDTH, {BlockField()});
        return false;
    }
    size_t length = strlen(text), digits = text[0] == '-' ? 1 : 0;
    bool plain = length > digits;
    for (size_t i = digits; i < length && plain; ++i)
        plain = util_IsDigit(text[i]);
    // A number past the int range reads as the nearest end of it.
    int code = !plain ? SVF_WARN_ROW_WIDTH_TEXT : BeyondInt(text, length) ? SVF_WARN_ROW_WIDTH_RANGE : 0;
    if (code != 0 && Wanted())
        AtAttribute(code, tag, "row_width", text, 0, {Quote(text), BlockField(), Number(width)});
    return code == 0;
}

void SVFReadWarnings::Block(XMLNode* tag, SVFDataField* field, int index, int width, unsigned int size)
{
    m_pField = field;
    m_nField = index;
    m_nWidth = width;
    m_nSize = size;
    m_bWidthChecked = false;
    bool written = RowWidthWritten(tag, width);
    int blocks = field->GetFieldBlockCount();
    SVFDataField::DataBlock* last = blocks > 0 ? field->GetDataBlock(blocks - 1) : nullptr;
    if (size == 0)
    {
        if (Wanted())
            AtTag(SVF_WARN_NO_ROWS, {BlockField()});
    }
    else
    {
        if (last != nullptr && last->m_nRowWidth == width && Wanted())
            AtTag(SVF_WARN_BLOCKS_MERGED, {Number(blocks - 1), BlockField(), Number(width)});
        m_bWidthChecked = written && width > 0;
    }
    RowMarkup();
}

// Comments and CDATA sections that stand in the rows of the field block.
void SVFReadWarnings::RowMarkup()
{
    XMLPlace place;
    bool cdata = false;
    for (int i = 0; i < m_places.MarkupCount(); ++i)
        if (m_places.Markup(i, &place, &cdata) && Wanted())
            Say(SVF_WARN_MARKUP_IN_ROWS, place,
                {cdata ? "CDATA section" : "comment", cdata ? "its text is read as rows" : "the reader drops it",
                 cdata ? "the section" : "it"});
}

// The field of the field block being read, as the sentences name it.
std::string SVFReadWarnings::BlockField() const
{
    return FieldLabel(m_pField, m_nField);
}

// "row 2 of block 0 of field "A"": the last row of the field's last block, from 0.
std::string SVFReadWarnings::RowName() const
{
    int block = m_pField->GetFieldBlockCount() - 1;
    return "row " + Number(m_pField->GetDataBlock(block)->GetNumberOfRows() - 1) + " of block " + Number(block) +
           " of " + BlockField();
}

// The index in the element's text of `at`; the text's last byte for its end.
unsigned int SVFReadWarnings::IndexOf(const unsigned char* text, const unsigned char* at) const
{
    unsigned int index = (unsigned int)(at - text);
    return index < m_nSize ? index : m_nSize - 1;
}

// One row at its end: characters passed over, an odd digit, an expression that does not
// evaluate or is cut, a length other than the width's, the row a last ',' adds.
void SVFReadWarnings::Row(const unsigned char* text, const SVFRowRecord& record)
{
    if (record.stray != nullptr)
    {
        if (Wanted())
            AtContent(SVF_WARN_STRAY_CHARACTERS, IndexOf(text, record.stray),
                      {Quote(record.strayText, record.strayCount), RowName()});
    }
    else if (record.start == nullptr && record.last && record.begin > text)
    {
        int block = m_pField->GetFieldBlockCount() - 1;
        if (Wanted())
            AtContent(SVF_WARN_TRAILING_COMMA, IndexOf(text, record.begin - 1),
                      {Number(block), BlockField(), Number(m_pField->GetDataBlock(block)->GetNumberOfRows() - 1)});
        return;
    }
    if (record.state == SVFRowState::LowDigit && Wanted())
        AtContent(SVF_WARN_ODD_DIGITS, IndexOf(text, record.digit), {RowName()});
    long long widthBytes = ExpressionRowBytes(m_nWidth);
    if (record.state == SVFRowState::InExpression && (record.stands < 0 || record.stands > widthBytes))
    {
        RowExpression(text, record, widthBytes);
        return;
    }
    const unsigned char* place = record.start != nullptr   ? record.start
                                 : record.stray != nullptr ? record.stray
                                                           : record.end;
    if (m_bWidthChecked && (long long)record.bytes != widthBytes && Wanted())
        AtContent(SVF_WARN_ROW_LENGTH, IndexOf(text, place),
                  {RowName(), Bytes(record.bytes), Number(m_nWidth), Number(widthBytes)});
}

// An expression row that does not evaluate, or stands for more bytes than its width holds.
void SVFReadWarnings::RowExpression(const unsigned char* text, const SVFRowRecord& record, long long widthBytes)
{
    if (!Wanted())
        return;
    if (record.stands < 0)
        AtContent(SVF_WARN_EXPRESSION_FAILS, IndexOf(text, record.start),
                  {Quote(record.start, (size_t)(record.end - record.start)), RowName()});
    else
        AtContent(SVF_WARN_EXPRESSION_CUT, IndexOf(text, record.start),
                  {RowName(), Bytes(record.stands), Bytes(widthBytes), Number(m_nWidth)});
}

std::string SVFRowSyntaxSentence(SVFDataField* field, int index, const SVFRowRecord& record)
{
    SVFRowState state = record.state;
    int block = field->GetFieldBlockCount() - 1;
    SVFDataField::DataBlock* rows = field->GetDataBlock(block);
    const char* due = state == SVFRowState::AfterZero   ? "the 'x' of the \"0x\" that begins a hexadecimal row"
                      : state == SVFRowState::HighDigit ? "a hexadecimal digit"
                                                        : "the second hexadecimal digit of a byte";
    return "row " + Number(rows != nullptr ? rows->GetNumberOfRows() - 1 : 0) + " of block " + Number(block) + " of " +
           FieldLabel(field, index) + " breaks the hexadecimal row syntax: " + util_FoundCharacter(*record.broken) +
           " stands where " + due + " is due";
}
