// An input that can be read only once (standard input, a pipe, a FIFO, a device), for
// `check`, which has it read twice: by the library's reader, through this byte source,
// which keeps every byte it hands on, and then by libxml2 (XmlInput), which reads the
// bytes kept. Nothing is written to a file.
//
// The bytes are kept in pieces of 1 MiB, so that keeping more never moves what is kept,
// and they stop where the reader stops: an input that the reader refuses at its first
// bytes costs what the reader took of it. Once the reader has read the document to its
// end, Drain takes in the rest of the input, for libxml2 to judge what follows the root
// element. At most kMostHeld bytes are kept: past them the reader still reads on, and
// libxml2 checks the bytes kept.
#ifndef RIZEROZ_TOOLS_HELDINPUT_H
#define RIZEROZ_TOOLS_HELDINPUT_H

#include <stddef.h>

#include <memory>
#include <string>
#include <vector>

#include "UtByteSource.h"
#include "XmlCheck.h"

class Progress;

class HeldInput : public UtByteSource, public XmlInput
{
public:
    // The most bytes kept: 1 GiB.
    static constexpr unsigned long long kMostHeld = 1ull << 30;

    // `input` is read as it comes; it stays the caller's, alive while this is read.
    explicit HeldInput(UtByteSource& input) : m_input(input) {}

    // The reader's source: the input's next bytes, kept.
    int Read(char* buffer, size_t capacity, size_t* count) override;
    // Takes in and keeps the rest of the input, up to kMostHeld bytes in all, telling
    // `progress` (may be null) of the bytes kept.
    void Drain(Progress* progress);

    // libxml2's input: the bytes kept.
    bool Rewind() override;
    long long Next(char* buffer, size_t capacity) override;
    unsigned long long Length() const override { return m_held; }
    // True unless the bytes kept are all of the input, up to its end. A warning says why
    // they end early when that is not the reader's stop: past kMostHeld, when memory ran
    // out, or when Drain failed to read.
    bool EndsEarly(std::string& why) const override;

private:
    void Hold(const char* bytes, size_t count);

    UtByteSource& m_input;
    std::vector<std::unique_ptr<char[]>> m_pieces;
    unsigned long long m_held = 0;
    unsigned long long m_next = 0;   // where Next reads on
    bool m_ended = false;            // the input has ended
    bool m_dropped = false;          // bytes of the input were read and not kept
    int m_failure = 0;               // the errno of a read that failed
    bool m_drainFailed = false;      // Drain's read failed
};

#endif
