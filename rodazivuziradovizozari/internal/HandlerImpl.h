// The handler's own steps that are no part of its interface: opening, copying and
// releasing what it holds, and reading the document's elements and rows. The exported
// class names SVFHandlerImpl only as its friend, so that these may change without
// changing the installed header. Each function works on the handler it is given, as a
// member function would. Internal to the handler.
#ifndef RIZEROZ_HANDLERIMPL_H
#define RIZEROZ_HANDLERIMPL_H

#include "HandlerState.h"

class SVPExpression;

class SVFHandlerImpl
{
public:
    // HandlerObject.cpp: releases the model, the output name and an output stream still
    // open; copies the owning members of `other` deeply; opens a file for reading or
    // writing (`whole`: `fileName` is the path as it is, else it follows `defaultDir`).
    static void ReleaseHeld(RODAzivUzirAdovIzozari& handler);
    static void CopyMembers(RODAzivUzirAdovIzozari& handler, const RODAzivUzirAdovIzozari& other);
    static int OpenFile(RODAzivUzirAdovIzozari& handler, const char* fileName, const char* defaultDir, const char* mode,
                        bool whole);

    // HandlerRead.cpp: the document from its prolog, and the root, comment and data field
    // elements.
    static int ReadDocument(RODAzivUzirAdovIzozari& handler);
    // The walk's item when the parser reported an element to skip.
    static int SkipElement(RODAzivUzirAdovIzozari& handler, unsigned long parent);
    static int ReadRootElement(RODAzivUzirAdovIzozari& handler);
    static int ReadCommentElement(RODAzivUzirAdovIzozari& handler, unsigned long parent);
    static int ReadDataFieldElement(RODAzivUzirAdovIzozari& handler);

    // HandlerRows.cpp: a field block element, its rows, an expression row, and the hook
    // told of a complete row.
    static int ProcessFieldBlock(RODAzivUzirAdovIzozari& handler, unsigned long parent, unsigned int size);
    static int ReadRows(RODAzivUzirAdovIzozari& handler, SVFDataField* field, int width, const unsigned char* text,
                        unsigned int size);
    static int AddExpressionRow(RODAzivUzirAdovIzozari& handler, SVPExpression& evaluator, UtByteBuffer* row,
                                const unsigned char* begin, const unsigned char* end, int width, long long* stands);
    static bool TellRow(RODAzivUzirAdovIzozari& handler, SVFDataField* field);
};

#endif
