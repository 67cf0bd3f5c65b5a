#include "decoder/stream_decoder.h"

#include "decoder/archive_read.h"
#include "decoder/decoder_memory.h"

bool StreamDecoder::OpenInput(HANDLE from, DWORD byte_limit) {
    if (from == INVALID_HANDLE_VALUE) return false;
    buffer = static_cast<uint8_t*>(DecoderAllocZeroed(kDecoderInputSize));
    if (!buffer) return false;
    input.next = input.end = buffer;
    limit = byte_limit;
    source = from;
    return true;
}

void StreamDecoder::CloseInput() {
    DecoderFree(buffer);
    LONG unused = LONG(input.end - input.next);
    if (source != INVALID_HANDLE_VALUE && unused) SetFilePointer(source, -unused, nullptr, FILE_CURRENT);
    buffer = nullptr;
    input.next = input.end = nullptr;
    source = INVALID_HANDLE_VALUE;
}

bool StreamDecoder::Refill(InflateInput* in) {
    StreamDecoder* d = reinterpret_cast<StreamDecoder*>(in);  // input is the first member
    DWORD n = d->limit && d->limit < kDecoderInputSize ? d->limit : kDecoderInputSize;
    DWORD got = 0;
    if (d->limit == 0) {
        // Unbounded, or a bounded entry whose stream wants more than its size.
        if (!ReadFile(d->source, d->buffer, n, &got, nullptr)) got = 0;
    } else {
        bool from_archive = d->source == g_archive_read.current_handle();
        if (!g_archive_read.read(d->source, d->buffer, n, &got)) return false;
        if (from_archive) d->source = g_archive_read.current_handle();
        d->limit -= got < d->limit ? got : d->limit;
    }
    in->next = d->buffer;
    in->end = d->buffer + got;
    return true;
}

bool FileOutput::Write(const uint8_t* data, uint16_t count) {
    DWORD written = 0;
    if (file_ == INVALID_HANDLE_VALUE) return true;
    if (WriteFile(file_, data, count, &written, nullptr) && written == count) return true;
    DWORD error = GetLastError();
    // A short write without an error is the drive filling up, too.
    out_of_space = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL || written < count;
    return !out_of_space;
}

int DecodeToMemory(uint8_t* destination, DWORD size, HANDLE source, DWORD limit, DWORD* produced) {
    StreamDecoder decoder;
    if (!destination || !decoder.OpenInput(source, limit)) return 0;
    size_t made;
    InflateResult r = InflateInto(decoder.input, destination, size, &made);
    decoder.CloseInput();
    if (produced) *produced = DWORD(made);
    return r == kInflateOk;
}

int DecodeToFile(HANDLE file, HANDLE source, DWORD limit) {
    StreamDecoder decoder;
    if (!decoder.OpenInput(source, limit)) return 0;
    FileOutput sink(file);
    // A lost archive volume ends the decode as a failure here.
    InflateResult r = Inflate(decoder.input, sink);
    decoder.CloseInput();
    return sink.out_of_space ? kDecodeOutOfSpace : r == kInflateOk;
}
