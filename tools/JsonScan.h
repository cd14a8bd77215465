// Inside the JSON reader: the input as a run of chunks, and the fast scanner that turns
// the common JSON into nlohmann-json's SAX events without nlohmann-json's lexer.
#ifndef RIZEROZ_TOOLS_JSONSCAN_H
#define RIZEROZ_TOOLS_JSONSCAN_H

#include <nlohmann/json.hpp>

#include "JsonModel.h"

typedef nlohmann::json_sax<nlohmann::json> JsonEvents;

// The bytes of a JsonInput, a chunk at a time; each new chunk is told to the observer as
// progress.
class JsonChunks
{
public:
    JsonChunks(JsonInput& input, JsonReadObserver* observer)
        : m_pNext(nullptr), m_pEnd(nullptr), m_input(input), m_pObserver(observer), m_bFailed(false)
    {
    }

    // True when a byte is there to read at m_pNext; false at the end of the text and after
    // a failed read.
    bool Fill() { return m_pNext < m_pEnd || Refill(); }
    bool Failed() const { return m_bFailed; }

    const char* m_pNext;   // the next byte of the current chunk
    const char* m_pEnd;    // the end of the current chunk

private:
    bool Refill();

    JsonInput& m_input;
    JsonReadObserver* m_pObserver;
    bool m_bFailed;
};

enum JsonScanResult
{
    JSON_SCAN_DONE,      // the text was read whole; the events told all of it
    JSON_SCAN_STOPPED,   // an event handler refused to go on
    JSON_SCAN_UNSURE     // something the scanner does not take: the parser must read the text
};

// Reads the text of `chunks` from its start, telling `events` what it finds in the order
// and with the values that nlohmann-json's SAX parser would, as long as the text is JSON
// of the common kind: no number with a fraction or an exponent or beyond 64 bits, no NUL
// byte outside a text. At anything else, malformed JSON included, it stops with
// JSON_SCAN_UNSURE (the events told so far are then void).
JsonScanResult ScanJson(JsonChunks& chunks, JsonEvents& events);

#endif
