// Inputs shared by the encoder tests and the benchmarks: synthetic buffers
// made on the fly, and real 32-bit Windows DLLs where the system has them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Deterministic buffers chosen for the encoder's edge cases: empty, one
// byte, sizes around the 32768-byte window, incompressible data, text,
// long runs, matches at the full window distance, and mixtures that make a
// compressor switch between stored and Huffman blocks.
std::vector<std::vector<uint8_t>> SyntheticCorpus();

// The first max_files *.dll files, by name, in the system's 32-bit Windows
// DLL directory; empty when it does not exist.
std::vector<std::string> PeCorpusFiles(size_t max_files);

// A whole file; throws std::runtime_error when it cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::string& path);
