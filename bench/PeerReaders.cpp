// The comparison readers: pugixml (DOM), expat (streaming callbacks) and libxml2 (DOM),
// each loading the document and decoding every row, and pugixml saving a model.
#include "PeerReaders.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>

#include "SVPExpression.h"

#if defined(RIZEROZ_BENCH_PUGIXML)
#include <pugixml.hpp>
#endif
#if defined(RIZEROZ_BENCH_EXPAT)
#include <expat.h>
#endif
#if defined(RIZEROZ_BENCH_LIBXML2)
#include <libxml/parser.h>
#include <libxml/tree.h>
#endif

namespace
{
enum CharClass
{
    kOther = 0,
    kSpace = 1,
    kEndOfRow = 2,
    kHex = 3
};

struct RowTables
{
    unsigned char cls[256];
    unsigned char value[256];
    RowTables()
    {
        for (int c = 0; c < 256; ++c)
        {
            cls[c] = kOther;
            value[c] = 0;
        }
        cls[(unsigned char)' '] = cls[(unsigned char)'\t'] = cls[(unsigned char)'\n'] = cls[(unsigned char)'\r'] =
            kSpace;
        cls[(unsigned char)','] = cls[0] = kEndOfRow;
        for (int c = '0'; c <= '9'; ++c)
        {
            cls[c] = kHex;
            value[c] = (unsigned char)(c - '0');
        }
        for (int c = 0; c < 6; ++c)
        {
            cls['A' + c] = cls['a' + c] = kHex;
            value['A' + c] = value['a' + c] = (unsigned char)(10 + c);
        }
    }
};

const RowTables g_tables;

void EvaluateInto(const std::string& expression, std::vector<unsigned char>& row, int width)
{
    SVPExpression evaluator;
    evaluator.Initialize(nullptr);
    long long room = (((long long)width + 7) / 8) * 2 + 3;
    if (room < 3)
        room = 3;
    if (room > (1 << 16))
    {
        char probe[3];
        int bytes = evaluator.GetBitStream(expression.c_str(), probe, 3);
        long long needed = bytes > 0 ? (long long)bytes * 2 + 3 : 3;
        if (needed < room)
            room = needed;
    }
    std::string area((size_t)room, '\0');
    evaluator.GetBitStream(expression.c_str(), &area[0], (int)room);
    size_t digits = strlen(area.c_str());
    for (size_t i = 2; i + 1 < digits; i += 2)
        row.push_back((unsigned char)((g_tables.value[(unsigned char)area[i]] << 4) |
                                      g_tables.value[(unsigned char)area[i + 1]]));
}

#if defined(RIZEROZ_BENCH_PUGIXML)
const char kDigits[] = "0123456789ABCDEF";

// The text of one block's rows in the writer's layout.
void FormatBlock(const PeerBlock& block, std::string& text)
{
    text.assign("\n");
    for (size_t k = 0; k < block.aRows.size(); ++k)
    {
        const std::vector<unsigned char>& row = block.aRows[k];
        text += "\t\t\t0x";
        for (size_t i = 0; i < row.size(); ++i)
        {
            text += kDigits[row[i] >> 4];
            text += kDigits[row[i] & 15];
            if (i % 30 == 29)
                text += "\n\t\t\t  ";
        }
        text += k + 1 < block.aRows.size() ? ",\n" : "\n";
    }
    text += "\t\t";
}
#endif
}

size_t PeerModel::RowCount() const
{
    size_t count = 0;
    for (const PeerField& field : aFields)
        for (const PeerBlock& block : field.aBlocks)
            count += block.aRows.size();
    return count;
}

size_t PeerModel::ByteCount() const
{
    size_t count = 0;
    for (const PeerField& field : aFields)
        for (const PeerBlock& block : field.aBlocks)
            for (const std::vector<unsigned char>& row : block.aRows)
                count += row.size();
    return count;
}

namespace
{
// One row, from `p` up to the ',' or 0 that ends it (or the text's end), where `p` is left,
// into `row`: a hexadecimal literal decoded, an expression evaluated to `width` bits.
// False on a character that breaks the hexadecimal syntax.
bool DecodeRow(const unsigned char*& p, const unsigned char* end, std::vector<unsigned char>& row,
               std::string& expression, int width)
{
    // Before the prefix: '0' starts a literal, '(' an expression; others are passed.
    int state = 0;   // 0 start, 1 after '0', 2 digits, 3 expression
    unsigned char high = 0;
    bool haveHigh = false;
    for (; p < end; ++p)
    {
        unsigned char c = *p;
        unsigned char cls = g_tables.cls[c];
        if (cls == kSpace)
            continue;
        if (cls == kEndOfRow)
            break;
        if (state == 2)
        {
            if (cls != kHex)
                return false;
            if (haveHigh)
                row.push_back((unsigned char)(high | g_tables.value[c]));
            else
                high = (unsigned char)(g_tables.value[c] << 4);
            haveHigh = !haveHigh;
        }
        else if (state == 0)
        {
            if (c == '0')
                state = 1;
            else if (c == '(')
            {
                expression.assign(1, '(');
                state = 3;
            }
        }
        else if (state == 1)
        {
            if (c != 'x')
                return false;
            state = 2;
        }
        else
        {
            expression += (char)c;
        }
    }
    if (state == 3)
        EvaluateInto(expression, row, width);
    return true;
}
}

bool DecodeRows(const char* text, size_t length, PeerBlock& block)
{
    if (length == 0)
        return true;
    const unsigned char* p = (const unsigned char*)text;
    const unsigned char* end = p + length;
    std::string expression;
    for (;;)
    {
        block.aRows.emplace_back();
        std::vector<unsigned char>& row = block.aRows.back();
        row.reserve(block.nRowWidth > 0 ? ((size_t)block.nRowWidth + 7) / 8 : 0);
        if (!DecodeRow(p, end, row, expression, block.nRowWidth))
            return false;
        if (p >= end)
            return true;
        ++p;   // the ',' (or 0) that ended the row
        if (p >= end)
            return true;
    }
}

unsigned int DecodeChecksum(const char* text)
{
    unsigned int checksum = 0;
    size_t length = text != nullptr ? strlen(text) : 0;
    for (size_t i = 2; i < 6; ++i)
        checksum = (checksum << 4) | (i < length ? g_tables.value[(unsigned char)text[i]] : 0);
    return checksum;
}

bool AddBlock(PeerModel& model, const char* widthText, const char* text, size_t length)
{
    if (model.aFields.empty())
        return false;
    PeerField& field = model.aFields.back();
    field.aBlocks.emplace_back();
    PeerBlock& block = field.aBlocks.back();
    block.nRowWidth = widthText != nullptr ? atoi(widthText) : 0;
    return DecodeRows(text, length, block);
}

// ---------------------------------------------------------------------------------
// pugixml
// ---------------------------------------------------------------------------------

bool HavePugixml()
{
#if defined(RIZEROZ_BENCH_PUGIXML)
    return true;
#else
    return false;
#endif
}

bool ReadWithPugixml(const char* path, PeerModel& model, std::string& error)
{
#if defined(RIZEROZ_BENCH_PUGIXML)
    pugi::xml_document document;
    pugi::xml_parse_result result = document.load_file(path);
    if (!result)
    {
        error = result.description();
        return false;
    }
    pugi::xml_node root = document.child("SVF_Plus_Data");
    model.sVersion = root.attribute("version").value();
    pugi::xml_node comment = root.child("Comment");
    model.bHasComment = (bool)comment;
    model.sComment = comment.child_value();
    for (pugi::xml_node field = root.child("DataField"); field; field = field.next_sibling("DataField"))
    {
        model.aFields.emplace_back();
        model.aFields.back().sName = field.attribute("name").value();
        model.aFields.back().nChecksum = DecodeChecksum(field.attribute("checksum").value());
        for (pugi::xml_node block = field.child("FieldBlock"); block; block = block.next_sibling("FieldBlock"))
        {
            const char* text = block.child_value();
            if (!AddBlock(model, block.attribute("row_width").value(), text, strlen(text)))
            {
                error = "a row breaks the row syntax";
                return false;
            }
        }
    }
    return true;
#else
    (void)path;
    (void)model;
    error = "pugixml was not found at build time";
    return false;
#endif
}

bool SaveWithPugixml(const PeerModel& model, const char* path, double& saveSeconds, std::string& error)
{
#if defined(RIZEROZ_BENCH_PUGIXML)
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "utf-8";
    document.append_child(pugi::node_doctype).set_value("SVF_Plus_Data\tSYSTEM\t\"SVF_Plus_Data.dtd\" ");
    pugi::xml_node root = document.append_child("SVF_Plus_Data");
    root.append_attribute("version") = model.sVersion.c_str();
    if (model.bHasComment)
        root.append_child("Comment").text().set(model.sComment.c_str());
    std::string text;
    char checksum[16];
    for (const PeerField& field : model.aFields)
    {
        pugi::xml_node fieldNode = root.append_child("DataField");
        fieldNode.append_attribute("name") = field.sName.c_str();
        if (field.nChecksum != 0)
        {
            snprintf(checksum, sizeof(checksum), "0x%.4x", field.nChecksum);
            fieldNode.append_attribute("checksum") = checksum;
        }
        for (const PeerBlock& block : field.aBlocks)
        {
            pugi::xml_node blockNode = fieldNode.append_child("FieldBlock");
            blockNode.append_attribute("row_width") = block.nRowWidth;
            FormatBlock(block, text);
            blockNode.append_child(pugi::node_pcdata).set_value(text.c_str());
        }
    }
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    bool saved = document.save_file(path, "\t", pugi::format_indent | pugi::format_save_file_text);
    saveSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!saved)
        error = "pugixml could not save the file";
    return saved;
#else
    (void)model;
    (void)path;
    saveSeconds = 0;
    error = "pugixml was not found at build time";
    return false;
#endif
}

// ---------------------------------------------------------------------------------
// expat
// ---------------------------------------------------------------------------------

bool HaveExpat()
{
#if defined(RIZEROZ_BENCH_EXPAT)
    return true;
#else
    return false;
#endif
}

#if defined(RIZEROZ_BENCH_EXPAT)
namespace
{
// Element texts are gathered up to an element's first child, as the reader takes them.
struct ExpatState
{
    PeerModel* pModel;
    std::string sText;
    std::string sWidth;
    int nGathering = 0;   // 0 none, 1 comment, 2 field block
    bool bFailed = false;
};

const char* FindAttribute(const XML_Char** attributes, const char* name)
{
    for (int i = 0; attributes[i] != nullptr; i += 2)
        if (strcmp(attributes[i], name) == 0)
            return attributes[i + 1];
    return nullptr;
}

void FinishGathering(ExpatState& state)
{
    if (state.nGathering == 1)
    {
        state.pModel->bHasComment = true;
        state.pModel->sComment = state.sText;
    }
    else if (state.nGathering == 2)
    {
        if (!AddBlock(*state.pModel, state.sWidth.c_str(), state.sText.data(), state.sText.size()))
            state.bFailed = true;
    }
    state.nGathering = 0;
    state.sText.clear();
}

void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** attributes)
{
    ExpatState& state = *(ExpatState*)data;
    FinishGathering(state);
    PeerModel& model = *state.pModel;
    if (strcmp(name, "SVF_Plus_Data") == 0)
    {
        const char* version = FindAttribute(attributes, "version");
        model.sVersion = version != nullptr ? version : "";
    }
    else if (strcmp(name, "Comment") == 0)
    {
        state.nGathering = 1;
    }
    else if (strcmp(name, "DataField") == 0)
    {
        model.aFields.emplace_back();
        const char* fieldName = FindAttribute(attributes, "name");
        model.aFields.back().sName = fieldName != nullptr ? fieldName : "";
        model.aFields.back().nChecksum = DecodeChecksum(FindAttribute(attributes, "checksum"));
    }
    else if (strcmp(name, "FieldBlock") == 0)
    {
        const char* width = FindAttribute(attributes, "row_width");
        state.sWidth = width != nullptr ? width : "";
        state.nGathering = 2;
    }
}

void XMLCALL OnEnd(void* data, const XML_Char*)
{
    FinishGathering(*(ExpatState*)data);
}

void XMLCALL OnText(void* data, const XML_Char* text, int length)
{
    ExpatState& state = *(ExpatState*)data;
    if (state.nGathering != 0)
        state.sText.append(text, (size_t)length);
}
}
#endif

bool ReadWithExpat(const char* path, PeerModel& model, std::string& error)
{
#if defined(RIZEROZ_BENCH_EXPAT)
    FILE* file = fopen(path, "rb");
    if (file == nullptr)
    {
        error = "cannot open the file";
        return false;
    }
    XML_Parser parser = XML_ParserCreate(nullptr);
    ExpatState state;
    state.pModel = &model;
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(parser, OnStart, OnEnd);
    XML_SetCharacterDataHandler(parser, OnText);
    const int kChunk = 256 * 1024;
    bool ok = true;
    for (;;)
    {
        void* buffer = XML_GetBuffer(parser, kChunk);
        size_t got = fread(buffer, 1, kChunk, file);
        bool last = got < (size_t)kChunk;
        if (XML_ParseBuffer(parser, (int)got, last) == XML_STATUS_ERROR)
        {
            error = XML_ErrorString(XML_GetErrorCode(parser));
            ok = false;
            break;
        }
        if (state.bFailed)
        {
            error = "a row breaks the row syntax";
            ok = false;
            break;
        }
        if (last)
            break;
    }
    XML_ParserFree(parser);
    fclose(file);
    return ok;
#else
    (void)path;
    (void)model;
    error = "expat was not found at build time";
    return false;
#endif
}

// ---------------------------------------------------------------------------------
// libxml2
// ---------------------------------------------------------------------------------

bool HaveLibxml2()
{
#if defined(RIZEROZ_BENCH_LIBXML2)
    return true;
#else
    return false;
#endif
}

#if defined(RIZEROZ_BENCH_LIBXML2)
namespace
{
xmlNode* FirstElement(xmlNode* node, const char* name)
{
    for (; node != nullptr; node = node->next)
        if (node->type == XML_ELEMENT_NODE && strcmp((const char*)node->name, name) == 0)
            return node;
    return nullptr;
}

// The element's text up to its first child element; a single text node is used in place.
const char* LeadingText(xmlNode* element, std::string& joined, size_t& length)
{
    xmlNode* first = element->children;
    if (first != nullptr && (first->type == XML_TEXT_NODE || first->type == XML_CDATA_SECTION_NODE) &&
        (first->next == nullptr || first->next->type == XML_ELEMENT_NODE))
    {
        length = strlen((const char*)first->content);
        return (const char*)first->content;
    }
    joined.clear();
    for (xmlNode* node = first; node != nullptr && node->type != XML_ELEMENT_NODE; node = node->next)
        if ((node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) && node->content != nullptr)
            joined += (const char*)node->content;
    length = joined.size();
    return joined.c_str();
}

std::string Attribute(xmlNode* element, const char* name)
{
    xmlChar* value = xmlGetProp(element, (const xmlChar*)name);
    std::string text = value != nullptr ? (const char*)value : "";
    xmlFree(value);
    return text;
}
}
#endif

bool ReadWithLibxml2(const char* path, PeerModel& model, std::string& error)
{
#if defined(RIZEROZ_BENCH_LIBXML2)
    xmlDoc* document = xmlReadFile(path, nullptr, XML_PARSE_HUGE | XML_PARSE_NONET);
    if (document == nullptr)
    {
        error = "libxml2 could not load the file";
        return false;
    }
    bool ok = true;
    std::string joined;
    xmlNode* root = xmlDocGetRootElement(document);
    model.sVersion = Attribute(root, "version");
    if (xmlNode* comment = FirstElement(root->children, "Comment"))
    {
        size_t length = 0;
        model.bHasComment = true;
        model.sComment = LeadingText(comment, joined, length);
    }
    for (xmlNode* field = FirstElement(root->children, "DataField"); field != nullptr && ok;
         field = FirstElement(field->next, "DataField"))
    {
        model.aFields.emplace_back();
        model.aFields.back().sName = Attribute(field, "name");
        model.aFields.back().nChecksum = DecodeChecksum(Attribute(field, "checksum").c_str());
        for (xmlNode* block = FirstElement(field->children, "FieldBlock"); block != nullptr;
             block = FirstElement(block->next, "FieldBlock"))
        {
            size_t length = 0;
            const char* text = LeadingText(block, joined, length);
            if (!AddBlock(model, Attribute(block, "row_width").c_str(), text, length))
            {
                error = "a row breaks the row syntax";
                ok = false;
                break;
            }
        }
    }
    xmlFreeDoc(document);
    return ok;
#else
    (void)path;
    (void)model;
    error = "libxml2 was not found at build time";
    return false;
#endif
}
