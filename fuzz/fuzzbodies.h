#pragma once

// The bodies of the fuzz targets: each takes one input, drives one reader of data that
// comes from outside the program (the serial lines, program files, the settings file, the
// simulator's request frames) and checks what must hold afterwards. The libFuzzer targets
// and the replay test share them, so every kept input is replayed by the ordinary tests.

#include <cstddef>
#include <cstdint>
#include <stdexcept>

// A broken invariant: the message names what did not hold.
class EFuzzInvariant : public std::logic_error
{
public:
    using std::logic_error::logic_error;
};

// Reply assembly and ParseReply: the bytes arrive in chunks on the four lines, which
// serve a few sources in various request states, with scheduler passes in between.
void FuzzReply(const uint8_t *data, size_t size);
// LoadProgramFile on the bytes as a .prg file, then a save and load round trip.
void FuzzPrgFile(const uint8_t *data, size_t size);
// The settings file: the four keys read, written back and read again.
void FuzzSettings(const uint8_t *data, size_t size);
// The simulator's frame assembly and parsing, and the replies its sources give.
void FuzzSimFrame(const uint8_t *data, size_t size);

// Frees what the bodies keep between inputs (windows, the working folder). Needs the
// application object that the first FuzzReply call found.
void FuzzRelease();
