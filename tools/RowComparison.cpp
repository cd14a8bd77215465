// Row-by-row comparison of a model being read with a model in memory.
#include "RowComparison.h"

#include <algorithm>

#include "ModelRows.h"

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

void RowComparison::Check(SVFPlusData* second, int field, int block, int row, UtByteBuffer* bytes)
{
    m_bChecked = true;
    int partner = PartnerOf(second, field);
    if (partner >= 0)
    {
        const std::vector<BlockView>& blocks = m_first.fields[(size_t)partner].blocks;
        if ((size_t)block < blocks.size() && (size_t)row < blocks[(size_t)block].rows.size())
        {
            std::string copy;
            RowView got = {RowBytes(bytes, copy), bytes->GetTotalSize()};
            RowDifference difference;
            if (!CompareRows(blocks[(size_t)block].rows[(size_t)row], got, difference))
            {
                difference.nField = partner;
                difference.nBlock = block;
                difference.nRow = row;
                m_rows.push_back(difference);
            }
        }
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
