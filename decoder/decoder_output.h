// Sinks for decoded bytes. The decoder hands each sink whole 32768-byte
// windows and, at the end of a good stream, one final (possibly empty) piece.
#pragma once
#include <cstddef>
#include <cstdint>

class DecoderOutput {
public:
    virtual ~DecoderOutput() = default;
    virtual bool IsValid() const = 0;
    // Takes count bytes (at most 32768). False means the sink cannot take
    // them, and the decode then ends as a failure.
    virtual bool Write(const uint8_t* data, uint16_t count) = 0;
};

// Decodes into a caller's buffer of a known size. More output than the
// buffer holds is refused rather than written past its end.
class MemoryOutput : public DecoderOutput {
public:
    MemoryOutput(uint8_t* destination, size_t size) : next_(destination), room_(size) {}
    bool IsValid() const override { return next_ != nullptr; }
    bool Write(const uint8_t* data, uint16_t count) override;
    size_t Room() const { return room_; }

private:
    uint8_t* next_;
    size_t room_;
};
