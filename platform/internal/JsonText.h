// The JSON text of a model (SVFJson.h) exactly as the JSON writer puts it out, whole or in
// parts while the model is still being read, for SVFWriter (SVFWriter.h), whatever the
// sink. Internal to the library: RapidJSON stays inside JsonWrite.cpp.
#ifndef RIZEROZ_JSONTEXT_H
#define RIZEROZ_JSONTEXT_H

#include <memory>

#include "DocumentWalk.h"
#include "UtByteSink.h"

class SVFPlusData;
struct JsonTextWriter;

class SVFJsonText
{
public:
    // Throws std::bad_alloc when memory for the writer cannot be had.
    SVFJsonText();
    ~SVFJsonText();

    // Writes the text of `model` on as `walk` goes, up to block `block` of field `field`
    // (DocumentWalk.h; the blocks passed must be complete); with `field` < 0, to the end,
    // which closes the text with a line feed. The text goes to `sink` in pieces of about
    // 1 MB, texts and rows of any length too; what is left of a part waits for the next
    // call, which must give the same sink, and the end hands over everything. 0, or the
    // errno of the sink's first failure, after which nothing more is handed over. A model
    // written in parts gives the bytes of one written whole, as long as `walk` holds.
    // Throws std::bad_alloc when memory runs out.
    int Write(UtByteSink& sink, SVFPlusData* model, SVFDocumentWalk& walk, int field, int block);

private:
    SVFJsonText(const SVFJsonText&) = delete;
    SVFJsonText& operator=(const SVFJsonText&) = delete;

    std::unique_ptr<JsonTextWriter> m_pWriter;
};

#endif
