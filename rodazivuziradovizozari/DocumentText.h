// The document text of a model exactly as the handler's Write puts it out, for Write and
// for the safe save alike, so that both write the same bytes. Internal to the library.
#ifndef RIZEROZ_DOCUMENTTEXT_H
#define RIZEROZ_DOCUMENTTEXT_H

#include <stdio.h>

class SVFPlusData;

// Writes the document of `model` to `stream`, rows as expressions where `expressions`
// allows. 0 when every byte went to the stream, else the errno of the first write that
// failed (nothing more is written after it). Memory that runs out makes a row hexadecimal
// instead of an expression, which loses nothing.
int WriteDocumentText(FILE* stream, SVFPlusData* model, bool expressions);

#endif
