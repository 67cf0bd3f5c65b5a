// The decoder's byte input over a Windows file handle, and the two entry
// points the setup program decodes with.
#pragma once
#include <windows.h>

#include <cstdint>

#include "decoder/decoder_output.h"
#include "decoder/inflate.h"

// Input comes in reads of this size, or of what is left of a byte limit
// when that is less: a bounded decode reads no further than its stream.
constexpr DWORD kDecoderInputSize = 65536;

// Lives on the caller's stack for one decode. With a byte limit, reads go
// through the archive and never past the limit. Closing the input gives
// back, through the file pointer, every byte that was read ahead and not
// used.
struct StreamDecoder {
    InflateInput input;  // next/end: the unread bytes of the buffer
    uint8_t* buffer = nullptr;
    HANDLE source = INVALID_HANDLE_VALUE;
    DWORD limit = 0;  // compressed bytes still to read; 0 = unbounded

    StreamDecoder() { input.refill = Refill; }
    ~StreamDecoder() { CloseInput(); }
    StreamDecoder(const StreamDecoder&) = delete;
    StreamDecoder& operator=(const StreamDecoder&) = delete;

    bool OpenInput(HANDLE from, DWORD byte_limit);
    void CloseInput();

private:
    static bool Refill(InflateInput* in);
};

// Writes into an open file. A failed or short write is not reported here:
// the installed file's checksum finds it.
class FileOutput : public DecoderOutput {
public:
    explicit FileOutput(HANDLE file) : file_(file) {}
    bool IsValid() const override { return true; }
    // False, ending the decode, when the drive is full; other write
    // failures show in the file's checksum.
    bool Write(const uint8_t* data, uint16_t count) override;
    bool out_of_space = false;

private:
    HANDLE file_;
};

// Both return 1 when the whole stream decoded, else 0; DecodeToFile returns
// kDecodeOutOfSpace when the file's drive ran out of room. A stream that
// decodes to more than `size` bytes fails without writing past them.
// *produced, when asked, says how many bytes were decoded.
constexpr int kDecodeOutOfSpace = 2;
int DecodeToMemory(uint8_t* destination, DWORD size, HANDLE source, DWORD limit, DWORD* produced = nullptr);
int DecodeToFile(HANDLE file, HANDLE source, DWORD limit);
