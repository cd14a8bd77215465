// A data model walked in the order of its document, a part at a time, for writers that
// write a model while it is still being read (the data file writer and the safe save,
// the tool's JSON): each part goes up to a block, and what was passed is noted, so that a
// writer can tell at the end whether the model still holds it.
//
//     SVFDocumentWalk walk;
//     walk.WalkTo(model, visitor, 2, 0);   // the head, fields 0 and 1 whole
//     ...                                  // the model read on
//     walk.WalkTo(model, visitor);         // the rest, to the end
//     if (!walk.Holds(model)) { /* write it again whole */ }
#ifndef RIZEROZ_DOCUMENTWALK_H
#define RIZEROZ_DOCUMENTWALK_H

#include <string>

#include "RizErozExport.h"
#include "SVFPlusData.h"

class RIZEROZ_API SVFDocumentWalk
{
public:
    // What the walk meets, in document order: the head (the version and the comment) once
    // first, each field's start, its blocks and its end, and the end once last.
    class Visitor
    {
    public:
        virtual ~Visitor() {}
        virtual void Head(SVFPlusData* model) = 0;
        virtual void FieldStart(SVFDataField* field) = 0;
        virtual void Block(SVFDataField::DataBlock* block) = 0;
        virtual void FieldEnd(SVFDataField* field) = 0;
        virtual void End(SVFPlusData* model) = 0;
    };

    SVFDocumentWalk();

    // Walks `model` on from where the last call stopped up to block `block` of field
    // `field`, not included; with `field` below 0, to the end. A field is started only
    // once one of its blocks (or a later field) is reached. The blocks passed must be
    // complete. A null field is passed over.
    void WalkTo(SVFPlusData* model, Visitor& visitor, int field = -1, int block = 0);
    // True when what the walk has passed still stands in `model`: its version and comment
    // and the name and checksum of every field started. A walk that has passed nothing holds.
    bool Holds(SVFPlusData* model) const;

private:
    bool m_bStarted;   // the head passed
    int m_nField;      // the next field, and its next block
    int m_nBlock;
    bool m_bFieldOpen;       // that field started
    std::string m_outline;   // the texts and numbers passed, in the order passed
};

#endif
