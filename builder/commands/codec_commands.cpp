#include "builder/commands/codec_commands.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "builder/archive/stream_encoder.h"
#include "decoder/inflate.h"

namespace {

std::vector<uint8_t> ReadStdin() {
    std::vector<uint8_t> data;
    struct stat info;
    if (fstat(fileno(stdin), &info) == 0 && S_ISREG(info.st_mode)) data.reserve(size_t(info.st_size));  // one allocation
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) data.insert(data.end(), buffer, buffer + n);
    if (std::ferror(stdin)) throw std::runtime_error("cannot read standard input");
    return data;
}

void WriteStdout(const uint8_t* data, size_t size) {
    if (std::fwrite(data, 1, size, stdout) != size || std::fflush(stdout) != 0)
        throw std::runtime_error("cannot write standard output");
}

// Runs a command body, turning exceptions into a message and status 1.
template <typename Body>
int Run(const char* name, Body body) {
    try {
        return body();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kiln %s: %s\n", name, e.what());
        return 1;
    }
}

}  // namespace

void AddEncodeCommand(CLI::App& app, int& status) {
    CLI::App* cmd = app.add_subcommand("encode", "Compress standard input into a stream of the setup program's format");
    auto level = std::make_shared<int>(kDefaultLevel);
    cmd->add_option("-l,--level", *level,
                    "Compression level: " + std::to_string(kMinLevel) + "-" + std::to_string(kMaxLevel - 1) +
                        " (higher: smaller, slower), " + std::to_string(kMaxLevel) + " smallest and much slower")
        ->check(CLI::Range(kMinLevel, kMaxLevel))
        ->capture_default_str();
    cmd->callback([level, &status] {
        status = Run("encode", [&] {
            std::vector<uint8_t> in = ReadStdin();
            std::vector<uint8_t> out = EncodeStream(in.data(), in.size(), *level);
            WriteStdout(out.data(), out.size());
            return 0;
        });
    });
}

void AddDecodeCommand(CLI::App& app, int& status) {
    CLI::App* cmd = app.add_subcommand("decode", "Decompress a stream of the setup program's format from standard input");
    cmd->callback([&status] {
        status = Run("decode", [] {
            std::vector<uint8_t> in = ReadStdin();
            // Straight into one buffer, which is the window as well: no copies.
            // Its size is a guess from the usual ratio; a stream that needs
            // more is decoded again into twice the room (rare, and at most
            // doubling the work).
            size_t room = std::max<size_t>(in.size() * 4, 1 << 20);
            for (;;) {
                std::unique_ptr<uint8_t[]> out(new uint8_t[room]);  // left uninitialised: it is all written
                size_t produced = 0;
                InflateResult result = InflateBuffer(in.data(), in.size(), out.get(), room, &produced);
                if (result == kInflateOutputFull && room <= SIZE_MAX / 2) {
                    room *= 2;
                    continue;
                }
                if (result != kInflateOk) {
                    // Partial output of a bad stream is not worth keeping.
                    std::fprintf(stderr, "kiln decode: invalid stream (decoder result %d)\n", int(result));
                    return int(result);
                }
                WriteStdout(out.get(), produced);
                return 0;
            }
        });
    });
}
