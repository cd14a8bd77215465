// XMLElementStack, header-only. Internal to the parser library.
#ifndef RIZEROZ_XMLELEMENTSTACK_H
#define RIZEROZ_XMLELEMENTSTACK_H

#include <stddef.h>

#include <string>
#include <vector>

// The open elements, innermost last: names back to back, with their
// start offsets, and the line where each start tag begins.
class XMLElementStack
{
public:
    size_t Depth() const { return m_aStarts.size(); }
    void Push(const std::string& name, long line)
    {
        m_aLines.push_back(line);
        m_aStarts.push_back(m_sNames.size());
        m_sNames.append(name);
    }
    void Pop()
    {
        m_sNames.resize(m_aStarts.back());
        m_aStarts.pop_back();
        m_aLines.pop_back();
    }
    // The innermost element's name (Depth() > 0) and the line of its start tag.
    const char* InnermostName() const { return m_sNames.c_str() + m_aStarts.back(); }
    long InnermostLine() const { return m_aLines.back(); }

private:
    std::string m_sNames;
    std::vector<size_t> m_aStarts;
    std::vector<long> m_aLines;
};

#endif
