// The document text of a model exactly as the handler's Write puts it out, for Write and
// for the safe save alike, so that both write the same bytes. Internal to the library.
#ifndef RIZEROZ_DOCUMENTTEXT_H
#define RIZEROZ_DOCUMENTTEXT_H

#include "DocumentWalk.h"
#include "UtByteSink.h"

class SVFPlusData;
class UtByteBuffer;

// Writes the document of `model` to `sink`, rows as expressions where `expressions`
// allows. 0 when every byte went to the sink, else the errno of the first write that
// failed (nothing more is written after it; the sink's Taken() tells where). Memory that
// runs out makes a row hexadecimal instead of an expression, which loses nothing.
int WriteDocumentText(UtByteSink& sink, SVFPlusData* model, bool expressions);

// Writes the document of `model` as `walk` goes on up to block `block` of field `field`
// (DocumentWalk.h; with `field` < 0, to the end): a model written in parts gives the bytes
// WriteDocumentText gives, as long as `walk` holds. 0 or an errno as WriteDocumentText.
int WriteDocumentPart(UtByteSink& sink, SVFPlusData* model, bool expressions, SVFDocumentWalk& walk, int field,
                      int block);

// With expressions on, how the writer puts `row` out: 1 as an expression (one shorter
// than its hexadecimal form), 0 in hexadecimal, SVF_ERR_NO_MEMORY when memory for the
// expression's text cannot be had now (so that which of the two is not known).
int WritesAsExpression(UtByteBuffer* row);

#endif
