#include "builder/codec_commands.h"

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "builder/stream_decode.h"
#include "builder/stream_encoder.h"

namespace {

std::vector<uint8_t> ReadStdin() {
    std::vector<uint8_t> data;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) data.insert(data.end(), buffer, buffer + n);
    if (std::ferror(stdin)) throw std::runtime_error("cannot read standard input");
    return data;
}

void WriteStdout(const std::vector<uint8_t>& data) {
    if (std::fwrite(data.data(), 1, data.size(), stdout) != data.size() || std::fflush(stdout) != 0)
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
            WriteStdout(EncodeStream(in.data(), in.size(), *level));
            return 0;
        });
    });
}

void AddDecodeCommand(CLI::App& app, int& status) {
    CLI::App* cmd = app.add_subcommand("decode", "Decompress a stream of the setup program's format from standard input");
    cmd->callback([&status] {
        status = Run("decode", [] {
            std::vector<uint8_t> in = ReadStdin(), out;
            InflateResult result = InflateToVector(in.data(), in.size(), &out);
            if (result != kInflateOk) {
                // Partial output of a bad stream is not worth keeping.
                std::fprintf(stderr, "kiln decode: invalid stream (decoder result %d)\n", int(result));
                return int(result);
            }
            WriteStdout(out);
            return 0;
        });
    });
}
