// The comparison readers of the benchmark: general XML libraries loading a RIZ Eroz data
// file and decoding every row into bytes, the same work the library's Read does. Each
// builds a PeerModel; the row syntax is decoded by one shared, table-driven routine so
// the libraries differ only in how they get the element texts.
#ifndef RIZEROZ_BENCH_PEERREADERS_H
#define RIZEROZ_BENCH_PEERREADERS_H

#include <stddef.h>

#include <string>
#include <vector>

struct PeerBlock
{
    int nRowWidth = 0;
    std::vector<std::vector<unsigned char>> aRows;
};

struct PeerField
{
    std::string sName;
    unsigned int nChecksum = 0;
    std::vector<PeerBlock> aBlocks;
};

struct PeerModel
{
    std::string sVersion;
    std::string sComment;
    bool bHasComment = false;
    std::vector<PeerField> aFields;

    size_t RowCount() const;
    size_t ByteCount() const;
};

// Decodes the text of a FieldBlock element into rows of `block`, with the reader's row
// syntax: rows separated by ',', white space dropped, "0x" and digit pairs, or an
// expression evaluated by the expression library. False on a row that breaks the syntax.
bool DecodeRows(const char* text, size_t length, PeerBlock& block);
// The checksum attribute as the reader takes it: characters 2 to 5 as hexadecimal digits.
unsigned int DecodeChecksum(const char* text);
// Adds a block (and decodes its text) to the last field of `model`.
bool AddBlock(PeerModel& model, const char* widthText, const char* text, size_t length);

// Each loads `path` and fills `model`; false (with `error` set) when the file does not
// load or a row breaks the syntax. A reader whose library was not found at build time
// sets `error` to say so.
bool ReadWithPugixml(const char* path, PeerModel& model, std::string& error);
bool ReadWithExpat(const char* path, PeerModel& model, std::string& error);
bool ReadWithLibxml2(const char* path, PeerModel& model, std::string& error);

// pugixml saving `model` in the writer's layout: the document is built (rows formatted
// as hexadecimal text) and saved. `saveSeconds` receives the time of the save alone.
bool SaveWithPugixml(const PeerModel& model, const char* path, double& saveSeconds, std::string& error);

bool HavePugixml();
bool HaveExpat();
bool HaveLibxml2();

#endif
