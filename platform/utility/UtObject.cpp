// UtObject: the shared root of the library's polymorphic objects. Its destructor is
// defined here, out of line, so that the class's virtual table lives in one place.
#include "UtObject.h"

UtObject::~UtObject() {}
