// What the handler's warnings need during one Read with warnings on. Internal to the
// handler (HandlerRead.cpp, HandlerRows.cpp, HandlerWarnings.cpp).
#ifndef RIZEROZ_HANDLERWARNINGS_H
#define RIZEROZ_HANDLERWARNINGS_H

#include <string>
#include <vector>

struct SVFWarningState
{
    // The elements whose children the reader is reading, innermost last: an end tag or
    // an empty element ends the innermost one, whatever the document says.
    std::vector<std::string> levels;
    bool bCommentSeen = false;    // a Comment element was read
    bool bWidthChecked = false;   // the current field block's rows are checked against its row_width
};

#endif
