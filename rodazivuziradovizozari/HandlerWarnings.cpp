// Warnings of a read: what the reader takes leniently, said where it stands in the
// document, with the element, field, block and row it concerns. Every check here runs
// only while warnings are on (m_pWarnings set), and none changes what is read.
#include "RODAzivUzirAdovIzozari.h"

#include <stdio.h>
#include <string.h>

#include <string>

#include "HandlerWarnings.h"
#include "RowScanner.h"
#include "RowWidth.h"
#include "UtUtility.h"
#include "XMLNameChars.h"

namespace
{
bool IsNameByte(unsigned char c, bool first)
{
    return first ? XMLIsNameStart((char)c) : XMLIsNameChar((char)c);
}

// Length of the reference (&name; &#digits; &#xhex;) at `text`, or 0 when none begins there.
size_t ReferenceLength(const unsigned char* text, size_t length)
{
    size_t i = 1;
    if (length < 3 || text[0] != '&')
        return 0;
    if (text[1] == '#')
    {
        bool hex = length > 2 && text[2] == 'x';
        i = hex ? 3 : 2;
        size_t digits = i;
        while (i < length && (hex ? util_IsHexDigit((char)text[i]) : util_IsDigit((char)text[i])))
            ++i;
        if (i == digits)
            return 0;
    }
    else
    {
        while (i < length && IsNameByte(text[i], i == 1))
            ++i;
        if (i == 1)
            return 0;
    }
    return i < length && text[i] == ';' ? i + 1 : 0;
}

// Index of the first byte that does not belong to well-formed UTF-8, or `length`.
size_t FirstNonUtf8(const unsigned char* text, size_t length)
{
    size_t i = 0;
    while (i < length)
    {
        unsigned char c = text[i];
        if (c < 0x80)
        {
            ++i;
            continue;
        }
        size_t count = c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : 0;
        if (count == 0 || i + count >= length)
            return i;
        unsigned char second = text[i + 1];
        // No overlong forms, no surrogates, nothing beyond U+10FFFF.
        if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) || (c == 0xF0 && second < 0x90) ||
            (c == 0xF4 && second > 0x8F))
            return i;
        for (size_t k = 1; k <= count; ++k)
            if ((text[i + k] & 0xC0) != 0x80)
                return i;
        i += count + 1;
    }
    return length;
}

std::string Quote(const unsigned char* text, size_t length)
{
    char quoted[40];
    return util_QuoteText(quoted, (int)sizeof(quoted), (const char*)text, length);
}

std::string Number(long long value)
{
    return std::to_string(value);
}

std::string Counted(long long count, const char* one, const char* many)
{
    return Number(count) + " " + (count == 1 ? one : many);
}

// "field "A"", or "field 2 (no name)", counted from 0.
std::string FieldLabel(SVFDataField* field, int index)
{
    const char* name = field->GetFieldName();
    if (name == nullptr)
        return "field " + Number(index) + " (no name)";
    return "field " + Quote((const unsigned char*)name, strlen(name));
}

// A found character in a sentence: "G", or the byte 0x01.
std::string Found(unsigned char c)
{
    if (c >= 0x20 && c < 0x7F)
        return std::string("\"") + (char)c + "\"";
    char text[24];
    snprintf(text, sizeof(text), "the byte 0x%02X", c);
    return text;
}
}

void RODAzivUzirAdovIzozari::WarnAtTag(int code, const char* sentence)
{
    if (m_pWarnings != nullptr)
        Warn(code, GetTagPlace(), sentence);
}

void RODAzivUzirAdovIzozari::WarnAtContent(int code, unsigned int index, const char* sentence)
{
    if (m_pWarnings == nullptr)
        return;
    XMLPlace place;
    if (!GetContentPlace(index, &place))
        place = GetTagPlace();
    Warn(code, place, sentence);
}

// The version, a field's name (attribute texts) or the comment (the element's text):
// references kept as written, and bytes that are not UTF-8, each at its first place.
void RODAzivUzirAdovIzozari::CheckKeptText(const char* what, const char* text, const char* attribute, bool content)
{
    if (m_pWarnings == nullptr || text == nullptr)
        return;
    const unsigned char* bytes = (const unsigned char*)text;
    size_t length = strlen(text);
    auto warn = [&](int code, size_t at, const std::string& sentence) {
        if (!GetErrorHandler()->KeepsWarnings())
        {
            GetErrorHandler()->CountWarning();
            return;
        }
        if (content)
        {
            WarnAtContent(code, (unsigned int)at, sentence.c_str());
            return;
        }
        // The value's place, then line ends within it up to the byte; its bytes are the
        // value's as written.
        XMLPlace place = GetAttributePlace(m_pStartTag, attribute);
        for (size_t i = 0; i < at; ++i)
        {
            if (bytes[i] == '\n')
            {
                ++place.nLine;
                place.nColumn = 1;
            }
            else
            {
                ++place.nColumn;
            }
        }
        place.nOffset += place.nOffset >= 0 ? (long long)at : 0;
        Warn(code, place, sentence.c_str());
    };
    for (const unsigned char* amp = (const unsigned char*)memchr(bytes, '&', length); amp != nullptr;
         amp = (const unsigned char*)memchr(amp + 1, '&', length - (size_t)(amp + 1 - bytes)))
    {
        size_t reference = ReferenceLength(amp, length - (size_t)(amp - bytes));
        if (reference > 0)
        {
            warn(SVF_WARN_REFERENCE, (size_t)(amp - bytes),
                 std::string(what) + " holds the reference " + Quote(amp, reference) +
                     ", which the reader keeps as written; XML tools read the character it stands for");
            break;
        }
    }
    size_t bad = FirstNonUtf8(bytes, length);
    if (bad < length)
    {
        char byte[8];
        snprintf(byte, sizeof(byte), "0x%02X", bytes[bad]);
        warn(SVF_WARN_NOT_UTF8, bad,
             std::string(what) + " holds bytes that are not UTF-8 (the first is " + byte +
                 "); the reader keeps them as they are");
    }
}

// Text of an element that reads none (the root element, a data field) before its first
// child: nobody's.
void RODAzivUzirAdovIzozari::CheckElementText(const char* element)
{
    unsigned int size = m_pContent->GetTotalSize();
    const unsigned char* text = m_pContent->GetData();
    if (m_pWarnings == nullptr || size == 0 || text == nullptr)
        return;
    unsigned int first = 0;
    while (first < size && util_IsWhiteSpace((char)text[first]))
        ++first;
    if (first == size)
        return;
    std::string sentence = "the text " + Quote(text + first, size - first) + " stands between the elements of <" +
                           element + "> and is not read";
    WarnAtContent(SVF_WARN_TEXT_NOT_READ, first, sentence.c_str());
}

// What the root element, a comment or a data field leaves out or takes leniently.
void RODAzivUzirAdovIzozari::CheckStartTag(unsigned long element)
{
    if (m_pWarnings == nullptr)
        return;
    if (element == SVF_TAG_ROOT)
    {
        const char* version = m_pStartTag->GetNodeAttributeValue("version");
        if (version == nullptr)
            WarnAtTag(SVF_WARN_NO_VERSION, "the root element has no \"version\"; the model gets no version");
        CheckKeptText("the version", version, "version", false);
        CheckElementText("SVF_Plus_Data");
        return;
    }
    if (element == SVF_TAG_COMMENT)
    {
        if (m_pWarnings->bCommentSeen)
            WarnAtTag(SVF_WARN_COMMENT_REPLACED, "this Comment element replaces the comment read before it");
        m_pWarnings->bCommentSeen = true;
        CheckKeptText("the comment", m_pSVFPlusData->GetComment(), nullptr, true);
        return;
    }
    int index = m_pSVFPlusData->GetDataFieldCount() - 1;
    SVFDataField* field = m_pSVFPlusData->GetDataField(index);
    const char* name = m_pStartTag->GetNodeAttributeValue("name");
    if (name == nullptr)
        WarnAtTag(SVF_WARN_NO_NAME,
                  ("data field " + Number(index) + " has no \"name\"; the field gets no name").c_str());
    CheckKeptText(("the name of data field " + Number(index)).c_str(), name, "name", false);

    const char* checksum = m_pStartTag->GetNodeAttributeValue("checksum");
    if (checksum != nullptr)
    {
        size_t length = strlen(checksum);
        bool written = length == 6 && checksum[0] == '0' && checksum[1] == 'x';
        for (size_t i = 2; written && i < 6; ++i)
            written = util_IsHexDigit(checksum[i]);
        if (!written && GetErrorHandler()->KeepsWarnings())
        {
            char read[16];
            snprintf(read, sizeof(read), "0x%04X", field->m_nChecksum);
            std::string sentence = "the \"checksum\" " + Quote((const unsigned char*)checksum, length) + " of " +
                                   FieldLabel(field, index) +
                                   " is not \"0x\" and four hexadecimal digits; the reader takes it as " + read;
            Warn(SVF_WARN_CHECKSUM, GetAttributePlace(m_pStartTag, "checksum"), sentence.c_str());
        }
        else if (!written)
        {
            GetErrorHandler()->CountWarning();
        }
    }
    CheckElementText("DataField");
}

// An element the start-tag hook refused: skipped with everything in it, or, written as
// an empty-element tag, taken as the end of the reader's current element.
void RODAzivUzirAdovIzozari::CheckSkipped(bool empty)
{
    if (m_pWarnings == nullptr)
        return;
    XMLNode* node = empty ? GetEmptyTag() : GetStartTag();
    std::string name = node != nullptr ? node->GetNodeName() : "";
    const std::vector<std::string>& levels = m_pWarnings->levels;
    if (!empty || levels.empty())
    {
        std::string sentence = "the reader skips the " + std::string(empty ? "empty element <" : "element <") + name +
                               (empty ? "/>" : ">") + ", which is not one of the data file's elements" +
                               (empty ? "" : ", with everything in it");
        WarnAtTag(SVF_WARN_SKIPPED_ELEMENT, sentence.c_str());
        return;
    }
    std::string sentence = "the reader takes the empty element <" + name + "/> as the end of <" + levels.back() +
                           (levels.size() == 1 ? "> and reads nothing after it"
                                               : ">, and reads what follows out of step with the document");
    WarnAtTag(SVF_WARN_EMPTY_ELEMENT_ENDS, sentence.c_str());
}

// An end tag ends the reader's current element, whichever element it closes.
void RODAzivUzirAdovIzozari::CheckEndTag()
{
    if (m_pWarnings == nullptr || m_pWarnings->levels.empty() || m_pEndTag == nullptr)
        return;
    const std::vector<std::string>& levels = m_pWarnings->levels;
    const char* name = m_pEndTag->GetNodeName();
    if (levels.back() == name)
        return;
    std::string sentence = "the reader takes the end tag </" + std::string(name) + "> as the end of <" + levels.back() +
                           (levels.size() == 1 ? "> and reads nothing after it"
                                               : ">, and reads what follows out of step with the document");
    WarnAtTag(SVF_WARN_END_TAG_OUT_OF_STEP, sentence.c_str());
}

// An empty-element tag whose processing failed: dropped without an error.
void RODAzivUzirAdovIzozari::CheckIgnoredEmpty(int code)
{
    if (m_pWarnings == nullptr || GetEmptyTag() == nullptr)
        return;
    std::string sentence = "the reader drops the empty element <" + std::string(GetEmptyTag()->GetNodeName()) +
                           "/>: " + ErrorHandler::DescribeCode(code);
    WarnAtTag(SVF_WARN_IGNORED_EMPTY_ELEMENT, sentence.c_str());
}

// A field block's "row_width", and what the block does to its field. Returns 1 when its
// rows are to be checked against a row width that is written as it should be.
int RODAzivUzirAdovIzozari::CheckBlockStart(SVFDataField* field, int width, unsigned int size)
{
    if (m_pWarnings == nullptr)
        return 0;
    int index = m_pSVFPlusData->GetDataFieldCount() - 1;
    std::string label = FieldLabel(field, index);
    const char* text = m_pStartTag->GetNodeAttributeValue("row_width");
    bool plain = false;
    if (text == nullptr)
    {
        WarnAtTag(SVF_WARN_NO_ROW_WIDTH,
                  ("the field block of " + label + " has no \"row_width\"; the reader takes its rows as 0 bits wide")
                      .c_str());
    }
    else
    {
        size_t length = strlen(text);
        size_t digits = text[0] == '-' ? 1 : 0;
        plain = length > digits;
        for (size_t i = digits; i < length && plain; ++i)
            plain = util_IsDigit(text[i]);
        XMLPlace place = GetAttributePlace(m_pStartTag, "row_width");
        std::string quoted = Quote((const unsigned char*)text, length);
        if (!plain)
        {
            Warn(SVF_WARN_ROW_WIDTH_TEXT, place,
                 ("the \"row_width\" " + quoted + " of a field block of " + label +
                  " is not a whole number; the reader takes " + Number(width))
                     .c_str());
        }
        else
        {
            // A number past the int range reads as the nearest end of it.
            size_t first = digits;
            while (first + 1 < length && text[first] == '0')
                ++first;
            if (length - first > 10 ||
                (length - first == 10 && strcmp(text + first, digits ? "2147483648" : "2147483647") > 0))
            {
                Warn(SVF_WARN_ROW_WIDTH_RANGE, place,
                     ("the \"row_width\" " + quoted + " of a field block of " + label +
                      " lies beyond the range of an int; the reader takes " + Number(width))
                         .c_str());
                plain = false;
            }
        }
    }

    int blocks = field->GetFieldBlockCount();
    if (size == 0)
    {
        WarnAtTag(SVF_WARN_NO_ROWS, ("the field block holds no rows; the reader adds no block to " + label).c_str());
        return 0;
    }
    SVFDataField::DataBlock* last = blocks > 0 ? field->GetDataBlock(blocks - 1) : nullptr;
    if (last != nullptr && last->m_nRowWidth == width)
        WarnAtTag(SVF_WARN_BLOCKS_MERGED,
                  ("the field block has the row width of block " + Number(blocks - 1) + " of " + label + " (" +
                   Number(width) + " bits) and follows it, so the reader adds its rows to that block")
                      .c_str());
    return plain && width > 0 ? 1 : 0;
}

// Comments and CDATA sections that stand in the rows of a field block.
void RODAzivUzirAdovIzozari::CheckBlockMarkup()
{
    XMLPlace place;
    bool cdata = false;
    for (int i = 0; i < GetContentMarkupCount(); ++i)
        if (GetContentMarkup(i, &place, &cdata))
            Warn(SVF_WARN_MARKUP_IN_ROWS, place,
                 cdata ? "a CDATA section stands in the rows of a field block; its text is read as rows, and a "
                         "written file does not keep the section"
                       : "a comment stands in the rows of a field block; the reader drops it, and a written file "
                         "does not keep it");
}

// One row at its end, from the record the row machine kept of it (RowScanner.h):
// characters passed over, an odd digit, an expression that does not evaluate or is cut,
// a length other than the width's, the row a last ',' adds.
void RODAzivUzirAdovIzozari::CheckRow(SVFDataField* field, const unsigned char* text, const SVFRowRecord& record,
                                      int width)
{
    // The element's text, the row's "0x" or '(' and the first character passed over before it.
    unsigned int size = m_pContent->GetTotalSize();
    const unsigned char* start = record.start;
    const unsigned char* stray = record.stray;
    // The names of the row and of its field, worked out only for a warning.
    int blockIndex = field->GetFieldBlockCount() - 1;
    int rowIndex = field->GetDataBlock(blockIndex)->GetNumberOfRows() - 1;
    std::string label, row;
    auto name = [&]() -> const std::string& {
        if (label.empty())
        {
            label = FieldLabel(field, m_pSVFPlusData->GetDataFieldCount() - 1);
            row = "row " + Number(rowIndex) + " of block " + Number(blockIndex) + " of " + label;
        }
        return row;
    };
    auto index = [text, size](const unsigned char* at) {
        unsigned int i = (unsigned int)(at - text);
        return i < size ? i : size - 1;
    };

    if (stray != nullptr)
    {
        std::string passed;
        for (const unsigned char* c = stray; c < (start != nullptr ? start : record.end); ++c)
            if (!util_IsWhiteSpace((char)*c))
                passed += (char)*c;
        WarnAtContent(SVF_WARN_STRAY_CHARACTERS, index(stray),
                      ("the characters " + Quote((const unsigned char*)passed.data(), passed.size()) + " in " + name() +
                       " begin no row (a row starts with \"0x\" or \"(\") and are not read")
                          .c_str());
    }
    else if (start == nullptr && record.last && record.begin > text)
    {
        name();
        WarnAtContent(SVF_WARN_TRAILING_COMMA, index(record.begin - 1),
                      ("the ',' after the last row of block " + Number(blockIndex) + " of " + label +
                       " adds an empty row " + Number(rowIndex))
                          .c_str());
        return;
    }
    if (record.state == SVFRowState::LowDigit)
        WarnAtContent(SVF_WARN_ODD_DIGITS, index(record.digit),
                      (name() + " has an odd number of hexadecimal digits; the last one is not read").c_str());

    long long widthBytes = ExpressionRowBytes(width);
    const unsigned char* place = start != nullptr ? start : stray != nullptr ? stray : record.end;
    if (record.state == SVFRowState::InExpression)
    {
        if (record.stands < 0)
        {
            WarnAtContent(SVF_WARN_EXPRESSION_FAILS, index(start),
                          ("the expression " + Quote(start, (size_t)(record.end - start)) + " of " + name() +
                           " does not evaluate, so the row reads as empty")
                              .c_str());
            return;
        }
        if (record.stands > widthBytes)
        {
            WarnAtContent(SVF_WARN_EXPRESSION_CUT, index(start),
                          ("the expression of " + name() + " stands for " + Counted(record.stands, "byte", "bytes") +
                           "; the reader keeps the " + Counted(widthBytes, "byte", "bytes") + " that row_width " +
                           Number(width) + " holds")
                              .c_str());
            return;
        }
    }
    if (m_pWarnings->bWidthChecked && (long long)record.bytes != widthBytes)
        WarnAtContent(SVF_WARN_ROW_LENGTH, index(place),
                      (name() + " holds " + Counted(record.bytes, "byte", "bytes") + ", but row_width " +
                       Number(width) + " asks for " + Number(widthBytes))
                          .c_str());
}

// A row that breaks the hexadecimal syntax: the failure is placed at the character and
// says what was found and what was due.
int RODAzivUzirAdovIzozari::RowSyntaxError(SVFDataField* field, const unsigned char* text, const SVFRowRecord& record)
{
    const unsigned char* at = record.broken;
    SVFRowState state = record.state;
    int blockIndex = field->GetFieldBlockCount() - 1;
    SVFDataField::DataBlock* block = field->GetDataBlock(blockIndex);
    int rowIndex = block != nullptr ? block->GetNumberOfRows() - 1 : 0;
    const char* due = state == SVFRowState::AfterZero   ? "the 'x' of the \"0x\" that begins a hexadecimal row"
                      : state == SVFRowState::HighDigit ? "a hexadecimal digit"
                                                        : "the second hexadecimal digit of a byte";
    std::string sentence = "row " + Number(rowIndex) + " of block " + Number(blockIndex) + " of " +
                           FieldLabel(field, m_pSVFPlusData->GetDataFieldCount() - 1) +
                           " breaks the hexadecimal row syntax: " + Found(*at) + " stands where " + due + " is due";
    XMLPlace place;
    if (GetContentPlace((unsigned int)(at - text), &place))
        SetFailurePlace(place, sentence.c_str());
    return SVF_ERR_MODEL;
}
