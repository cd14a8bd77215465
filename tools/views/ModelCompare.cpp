// Views of models, their comparison member by member, and the comparison row by row of a
// model being read with a model in memory.
#include "ModelCompare.h"

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <tuple>

#include "JsonReport.h"
#include "ModelRows.h"
#include "ReadBack.h"
#include "ToolText.h"

namespace
{
struct CompareOptions
{
    bool bPairByName;    // pair fields by name (the first with the first of its name); else by place
    bool bTextsAsJson;   // texts are equal when JSON writes them alike
    // When given, the rows were compared already, as they were read, and these are the
    // rows that differ, in the order of the first model: the second model's rows are
    // then not looked at, only counted.
    const std::vector<RowDifference>* pRowsCompared;
};

bool SameText(const char* a, const char* b, bool asJson)
{
    if (a == nullptr || b == nullptr)
        return a == b;
    return asJson ? JsonString(a) == JsonString(b) : strcmp(a, b) == 0;
}

RowView ViewRow(UtByteBuffer* row, ModelView& view)
{
    RowView seen = {nullptr, 0};
    std::string copy;
    seen.bytes = RowBytes(row, copy);
    if (seen.bytes == nullptr)
        return seen;
    seen.nSize = row->GetTotalSize();
    if (!copy.empty())
    {
        view.rowCopies.push_back(std::move(copy));
        seen.bytes = (const unsigned char*)view.rowCopies.back().data();
    }
    return seen;
}

// A difference of `kind` at the place of `difference` when `first` and `second` differ.
void AddCounts(DifferenceSink& sink, Difference difference, Difference::Kind kind, long long first, long long second)
{
    if (first == second)
        return;
    difference.kind = kind;
    difference.first = first;
    difference.second = second;
    sink.Add(difference);
}

void AddRow(DifferenceSink& sink, Difference difference, const RowDifference& row)
{
    difference.kind = Difference::ROW;
    difference.nRow = row.nRow;
    difference.first = row.nLength[0];
    difference.second = row.nLength[1];
    difference.nOffset = row.nOffset;
    difference.nByte[0] = row.nByte[0];
    difference.nByte[1] = row.nByte[1];
    difference.nBits = row.nBits;
    difference.excerpt = row.excerpt;
    sink.Add(difference);
}

// The set bits of `word`, counted in its bytes side by side, then summed by one product.
int SetBits(uint64_t word)
{
    word -= (word >> 1) & 0x5555555555555555ULL;
    word = (word & 0x3333333333333333ULL) + ((word >> 2) & 0x3333333333333333ULL);
    word = (word + (word >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
    return (int)((word * 0x0101010101010101ULL) >> 56);
}

// The bits that differ in the `count` bytes at `a` and `b`.
long long BitsApart(const unsigned char* a, const unsigned char* b, size_t count)
{
    long long bits = 0;
    size_t i = 0;
    for (uint64_t x, y; i + 8 <= count; i += 8)
    {
        memcpy(&x, a + i, 8);
        memcpy(&y, b + i, 8);
        bits += SetBits(x ^ y);
    }
    for (; i < count; ++i)
        bits += SetBits((uint64_t)(a[i] ^ b[i]));
    return bits;
}

// The bytes of both rows that `diff` shows, about the first that differs at `diverge`.
RowExcerpt Excerpt(const RowView& first, const RowView& second, long long diverge)
{
    RowExcerpt excerpt;
    const long long kBefore = 8;
    if (std::max(first.nSize, second.nSize) > (unsigned)ROW_EXCERPT_BYTES)
        excerpt.nFrom = std::max(0LL, diverge - kBefore);
    const RowView* rows[2] = {&first, &second};
    for (int side = 0; side < 2; ++side)
    {
        long long left = (long long)rows[side]->nSize - excerpt.nFrom;
        excerpt.nCount[side] = (int)std::max(0LL, std::min(left, (long long)ROW_EXCERPT_BYTES));
        if (excerpt.nCount[side] > 0)
            memcpy(excerpt.bytes[side], rows[side]->bytes + excerpt.nFrom, (size_t)excerpt.nCount[side]);
    }
    return excerpt;
}

bool RowBefore(const RowDifference& a, const RowDifference& b)
{
    return std::tie(a.nField, a.nBlock, a.nRow) < std::tie(b.nField, b.nBlock, b.nRow);
}

bool CompareRows(const RowView& first, const RowView& second, RowDifference& difference)
{
    unsigned int common = std::min(first.nSize, second.nSize);
    if (first.nSize == second.nSize && (common == 0 || memcmp(first.bytes, second.bytes, common) == 0))
        return true;
    const unsigned char* end = first.bytes + common;
    std::pair<const unsigned char*, const unsigned char*> at = std::mismatch(first.bytes, end, second.bytes);
    difference.nLength[0] = first.nSize;
    difference.nLength[1] = second.nSize;
    difference.nOffset = at.first != end ? at.first - first.bytes : -1;
    difference.nByte[0] = at.first != end ? *at.first : 0;
    difference.nByte[1] = at.first != end ? *at.second : 0;
    size_t same = (size_t)(at.first - first.bytes);   // the bytes before the first that differs
    difference.nBits = (same < common ? BitsApart(at.first, at.second, common - same) : 0) +
                       8 * ((long long)std::max(first.nSize, second.nSize) - common);
    difference.excerpt = Excerpt(first, second, difference.nOffset >= 0 ? difference.nOffset : common);
    return false;
}

void CompareFields(const FieldView& a, const FieldView& b, int index, const CompareOptions& options,
                   DifferenceSink& sink)
{
    Difference here(Difference::CHECKSUM, a.name, index);
    AddCounts(sink, here, Difference::CHECKSUM, a.nChecksum, b.nChecksum);
    AddCounts(sink, here, Difference::BLOCK_COUNT, (long long)a.blocks.size(), (long long)b.blocks.size());
    for (size_t j = 0; j < a.blocks.size() && j < b.blocks.size(); ++j)
    {
        const BlockView& blockA = a.blocks[j];
        const BlockView& blockB = b.blocks[j];
        here.nBlock = (int)j;
        AddCounts(sink, here, Difference::ROW_WIDTH, blockA.nRowWidth, blockB.nRowWidth);
        AddCounts(sink, here, Difference::ROW_COUNT, (long long)blockA.rows.size(), (long long)blockB.rows.size());
        if (options.pRowsCompared != nullptr)
        {
            // The rows compared before, of this block: a run of the sorted list.
            const std::vector<RowDifference>& rows = *options.pRowsCompared;
            RowDifference key = RowDifference();
            key.nField = index;
            key.nBlock = (int)j;
            key.nRow = -1;
            for (auto row = std::lower_bound(rows.begin(), rows.end(), key, RowBefore);
                 row != rows.end() && row->nField == index && row->nBlock == (int)j; ++row)
                AddRow(sink, here, *row);
            continue;
        }
        for (size_t k = 0; k < blockA.rows.size() && k < blockB.rows.size(); ++k)
        {
            RowDifference row;
            if (!CompareRows(blockA.rows[k], blockB.rows[k], row))
            {
                row.nRow = (int)k;
                AddRow(sink, here, row);
            }
        }
    }
}

// Fills the new `view` with `model` (not null) as `kind` sees it: what a data file keeps
// of it, the comment's line ends too, is the library's to say (ReadBack.h).
void ViewModel(SVFPlusData* model, ViewKind kind, ModelView& view)
{
    bool carried = kind == VIEW_CARRIED;
    view.version = carried ? SVFReadBackAttribute(model->GetVersion()) : model->GetVersion();
    view.comment = carried ? SVFReadBackComment(model->GetComment()) : model->GetComment();
    if (carried && view.comment != nullptr)
    {
        view.lineFeedComment = view.comment;
        view.lineFeedComment.resize(SVFReadBackLineEnds(&view.lineFeedComment[0], view.lineFeedComment.size()));
        view.comment = view.lineFeedComment.c_str();
    }
    view.fields.resize((size_t)model->GetDataFieldCount());
    for (int i = 0; i < model->GetDataFieldCount(); ++i)
    {
        SVFDataField* field = model->GetDataField(i);
        FieldView& seen = view.fields[(size_t)i];
        seen.name = carried ? SVFReadBackAttribute(field->GetFieldName()) : field->GetFieldName();
        seen.nChecksum = field->m_nChecksum;
        for (int j = 0; j < field->GetFieldBlockCount(); ++j)
        {
            SVFDataField::DataBlock* block = field->GetDataBlock(j);
            if (!carried || !SVFReadBackJoinsBlock(field, j))
                seen.blocks.push_back(BlockView{block->m_nRowWidth, std::vector<RowView>()});
            std::vector<RowView>& rows = seen.blocks.back().rows;
            if (carried && SVFReadBackAddsEmptyRow(block))
                rows.push_back(RowView{nullptr, 0});
            rows.reserve(rows.size() + (size_t)block->GetNumberOfRows());
            for (int k = 1; k <= block->GetNumberOfRows(); ++k)
                rows.push_back(ViewRow(block->GetRow(k), view));
        }
    }
}

void CompareModels(const ModelView& first, const ModelView& second, const CompareOptions& options, DifferenceSink& sink)
{
    Difference difference(Difference::VERSION, nullptr, -1);
    difference.text[0] = first.version;
    difference.text[1] = second.version;
    if (!SameText(first.version, second.version, options.bTextsAsJson))
        sink.Add(difference);
    difference.kind = Difference::COMMENT;
    difference.text[0] = first.comment;
    difference.text[1] = second.comment;
    if (!SameText(first.comment, second.comment, options.bTextsAsJson))
        sink.Add(difference);

    std::vector<int> partners(first.fields.size(), -1);
    for (size_t i = 0; !options.bPairByName && i < first.fields.size() && i < second.fields.size(); ++i)
        partners[i] = (int)i;
    if (options.bPairByName)
    {
        std::vector<const char*> namesA, namesB;
        for (const FieldView& field : first.fields)
            namesA.push_back(field.name);
        for (const FieldView& field : second.fields)
            namesB.push_back(field.name);
        partners = PairByName(namesA, namesB);
    }
    std::vector<bool> paired(second.fields.size(), false);
    for (int partner : partners)
        if (partner >= 0)
            paired[(size_t)partner] = true;
    if (options.bPairByName)
    {
        // The fields both have, in the first model's order, must stand in that order in the second too.
        Difference order(Difference::FIELD_ORDER, nullptr, -1);
        int last = -1;
        bool inOrder = true;
        for (size_t i = 0; i < partners.size(); ++i)
        {
            if (partners[i] < 0)
                continue;
            inOrder = inOrder && partners[i] > last;
            last = partners[i];
            order.order[0].push_back(first.fields[i].name);
        }
        for (size_t j = 0; j < second.fields.size(); ++j)
            if (paired[j])
                order.order[1].push_back(second.fields[j].name);
        if (!inOrder)
            sink.Add(order);
    }

    for (size_t i = 0; i < first.fields.size(); ++i)
    {
        const FieldView& field = first.fields[i];
        if (partners[i] < 0)
        {
            sink.Add(Difference(Difference::FIELD_ONLY_FIRST, field.name, (int)i));
            continue;
        }
        const FieldView& partner = second.fields[(size_t)partners[i]];
        if (!options.bPairByName && !SameText(field.name, partner.name, options.bTextsAsJson))
        {
            Difference names(Difference::FIELD_NAME, field.name, (int)i);
            names.text[0] = field.name;
            names.text[1] = partner.name;
            sink.Add(names);
        }
        CompareFields(field, partner, (int)i, options, sink);
    }
    for (size_t j = 0; j < second.fields.size(); ++j)
        if (!paired[j])
            sink.Add(Difference(Difference::FIELD_ONLY_SECOND, second.fields[j].name, (int)j));
}

}

std::vector<int> PairByName(const std::vector<const char*>& first, const std::vector<const char*>& second)
{
    std::vector<int> partners(first.size(), -1);
    std::vector<bool> taken(second.size(), false);
    for (size_t i = 0; i < first.size(); ++i)
    {
        for (size_t j = 0; j < second.size(); ++j)
        {
            if (!taken[j] && SameText(first[i], second[j], false))
            {
                taken[j] = true;
                partners[i] = (int)j;
                break;
            }
        }
    }
    return partners;
}

std::string DescribeReadBack(const Difference& difference)
{
    // What differs, for each kind but ROW; the kinds from FIELD_NAME on are followed by
    // their place, those from ROW_WIDTH on with the block.
    static const char* const kWhat[] = {
        "the version",          "the comment",           "the number of fields", "the number of fields",
        "the number of fields", "the name of ",          "the checksum of ",     "the number of blocks of ",
        "the row width of ",    "the number of rows of "};
    std::string place;
    if (difference.kind >= Difference::FIELD_NAME)
        place = "field " + std::to_string(difference.nField) + " \"" +
                (difference.field != nullptr ? difference.field : "") + "\"";
    if (difference.kind >= Difference::ROW_WIDTH)
        place += ", block " + std::to_string(difference.nBlock);
    if (difference.kind != Difference::ROW)
        return kWhat[difference.kind] + place + " differs";
    place += ", row " + std::to_string(difference.nRow);
    if (difference.first == difference.second)
        return place + " holds other bytes than written";
    return place + " holds " + Counted(difference.second, "byte", "bytes") + " instead of the " +
           std::to_string(difference.first) + " written";
}

RowComparison::RowComparison(SVFPlusData* first, ViewKind kind, bool pairByName)
    : m_kind(kind), m_bPairByName(pairByName)
{
    ViewModel(first, kind, m_first);
    for (size_t i = 0; i < m_first.fields.size(); ++i)
        m_fieldsNamed[NameKey(m_first.fields[i].name)].push_back((int)i);
}

// A name as a key of the maps: a field without a name is none of the named ones (in a
// view of what a data file carries, every field has a name).
std::string RowComparison::NameKey(const char* name) const
{
    if (name == nullptr)
        return m_kind == VIEW_CARRIED ? "=" : "!";
    return std::string("=") + name;
}

// The partner of the second model's field `field`: the same as PairByName gives, since
// the n-th field of a name in one model pairs with the n-th field of that name in the
// other, whichever model is walked.
int RowComparison::PartnerOf(SVFPlusData* second, int field)
{
    while (m_partners.size() <= (size_t)field)
    {
        int index = (int)m_partners.size();
        int partner = -1;
        if (!m_bPairByName)
            partner = (size_t)index < m_first.fields.size() ? index : -1;
        else
        {
            SVFDataField* seen = second->GetDataField(index);
            std::string key = NameKey(seen != nullptr ? seen->GetFieldName() : nullptr);
            size_t occurrence = m_namesSeen[key]++;
            auto named = m_fieldsNamed.find(key);
            if (named != m_fieldsNamed.end() && occurrence < named->second.size())
                partner = named->second[occurrence];
        }
        m_partners.push_back(partner);
    }
    return m_partners[(size_t)field];
}

void RowComparison::Row(SVFPlusData* second, int field, int block, int row, UtByteBuffer* bytes)
{
    m_bChecked = true;
    int partner = PartnerOf(second, field);
    const std::vector<BlockView>* blocks = partner >= 0 ? &m_first.fields[(size_t)partner].blocks : nullptr;
    std::string copy;
    RowDifference difference;
    if (blocks != nullptr && (size_t)block < blocks->size() && (size_t)row < (*blocks)[(size_t)block].rows.size() &&
        !CompareRows((*blocks)[(size_t)block].rows[(size_t)row], RowView{RowBytes(bytes, copy), bytes->GetTotalSize()},
                     difference))
    {
        difference.nField = partner;
        difference.nBlock = block;
        difference.nRow = row;
        m_rows.push_back(difference);
    }
    bytes->Shrink(0);
}

void RowComparison::Finish(SVFPlusData* second, bool textsAsJson, DifferenceSink& sink)
{
    ViewModel(second, m_kind, m_second);
    std::stable_sort(m_rows.begin(), m_rows.end(), RowBefore);
    CompareOptions options = {m_bPairByName, textsAsJson, m_bChecked ? &m_rows : nullptr};
    CompareModels(m_first, m_second, options, sink);
}
