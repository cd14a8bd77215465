// The row machine of a field block's text, and the record it keeps of each row. Internal
// to the handler: HandlerRows.cpp scans with it, the warnings (HandlerWarnings.h) read its
// records.
//
// Rows are separated by ',' (a 0 byte ends a row as well); white space is passed over
// everywhere. A row is a hexadecimal literal ("0x" and two digits per byte), decoded
// straight into the row's bytes, or an expression, from its '(' to the row's end, which
// the reader evaluates. Characters before a row's "0x" or '(' begin no row and are passed
// over.
#ifndef RIZEROZ_ROWSCANNER_H
#define RIZEROZ_ROWSCANNER_H

#include <stddef.h>

class UtByteBuffer;

// Where the machine stands in a row.
enum class SVFRowState : unsigned char
{
    Start,         // start of a row; stray characters are passed over
    AfterZero,     // a '0' was read; 'x' must follow
    HighDigit,     // the first digit of a byte is due
    LowDigit,      // the second digit of a byte is due
    InExpression   // inside an expression; everything up to the row's end is its text
};

// One row as the machine passed it.
struct SVFRowRecord
{
    // Of the characters passed over before the row's start (white space left out), the
    // first ones are kept: as many as a warning's quotation shows, and one more, which tells
    // that more follow (util_QuoteText).
    static constexpr unsigned int kStrayKept = 25;

    const unsigned char* begin = nullptr;     // the row's first character
    const unsigned char* end = nullptr;       // the ',' or 0 that ends it, or the text's end
    const unsigned char* start = nullptr;     // its "0x"'s '0' or its '('; null when none
    const unsigned char* stray = nullptr;     // the first character passed over before its start
    const unsigned char* digit = nullptr;     // the last first digit of a byte (the one left alone in LowDigit)
    const unsigned char* broken = nullptr;    // the character that breaks the hexadecimal syntax
    SVFRowState state = SVFRowState::Start;   // where the machine stood when the row ended (or broke)
    bool last = false;                        // the row ends the text
    unsigned int bytes = 0;                   // the bytes the row holds (an expression's once evaluated)
    long long stands = 0;                     // bytes an expression stands for; negative when it does not evaluate
    unsigned int strayCount = 0;              // characters kept in strayText
    unsigned char strayText[kStrayKept] = {};
};

class SVFRowScanner
{
public:
    // Scans the `size` bytes at `text`; a row holds at most `limit` bytes.
    SVFRowScanner(const unsigned char* text, size_t size, unsigned int limit);
    SVFRowScanner(const SVFRowScanner&) = delete;
    SVFRowScanner& operator=(const SVFRowScanner&) = delete;

    // Scans the next row into *record, decoding a literal's bytes into `row` (empty): room
    // is taken when its "0x" is read, for at most the digits that stand before the row's
    // ',' (a row cannot hold more; first as much as the row before held and a byte more,
    // so that the ',' is looked for only when a row is longer), and what stays unused goes
    // back at the row's end.
    // Returns 0, SVF_ERR_NO_MEMORY, SVF_ERR_ROW_TOO_LARGE (the row keeps the bytes within
    // the limit), or SVF_ERR_MODEL when record->broken breaks the syntax in record->state.
    int Next(UtByteBuffer* row, SVFRowRecord* record);

private:
    int Step(unsigned char c, const unsigned char* next, UtByteBuffer* row, SVFRowRecord* record, SVFRowState& state);
    size_t LiteralRoom(const unsigned char* literal, const unsigned char* stop) const;
    int OpenLiteral(UtByteBuffer* row, const unsigned char* next);
    int GrowLiteral(UtByteBuffer* row, const unsigned char* p);
    int Break(UtByteBuffer* row, SVFRowRecord* record, const unsigned char* at, SVFRowState state);
    int FinishLiteral(UtByteBuffer* row, int result);

    const unsigned char* m_p;     // the next character
    const unsigned char* m_end;   // the text's end
    unsigned int m_limit;
    // The room of the current literal: [m_outBegin, m_out) decoded, up to m_outEnd.
    unsigned char* m_out = nullptr;
    unsigned char* m_outBegin = nullptr;
    unsigned char* m_outEnd = nullptr;
    unsigned char m_accumulator = 0;            // the first digit of a byte, shifted
    const unsigned char* m_literal = nullptr;   // just after the current literal's "0x"
    bool m_bBounded = false;                    // the room is all the literal may fill
    size_t m_nGuess = 0;                        // room for the next literal: a byte more than the last
                                                // held; 0 before the first
};

#endif
