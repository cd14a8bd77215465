// Root class of the library's polymorphic objects.
#ifndef RIZEROZ_UTOBJECT_H
#define RIZEROZ_UTOBJECT_H

#include "RizErozExport.h"

class RIZEROZ_API UtObject
{
public:
    UtObject() {}
    virtual ~UtObject();
};

#endif
