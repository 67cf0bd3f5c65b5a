// The decoder's file input and its sinks on real files: reads ahead are
// given back through the file pointer, limits bound the reads, and failures
// end a decode cleanly.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "decoder/archive_read.h"
#include "decoder/stream_decoder.h"
#include "tests/common/stream_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A scratch file in the temporary folder, deleted at the end of the test.
struct TempFile {
    std::string path;
    HANDLE handle = INVALID_HANDLE_VALUE;

    explicit TempFile(const Bytes& content) {
        char folder[MAX_PATH], name[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        GetTempFileNameA(folder, "kln", 0, name);
        path = name;
        handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written;
        if (!content.empty()) WriteFile(handle, content.data(), DWORD(content.size()), &written, nullptr);
        SetFilePointer(handle, 0, nullptr, FILE_BEGIN);
    }
    ~TempFile() {
        CloseHandle(handle);
        DeleteFileA(path.c_str());
    }
    DWORD Position() const { return SetFilePointer(handle, 0, nullptr, FILE_CURRENT); }
    void Seek(DWORD at) const { SetFilePointer(handle, LONG(at), nullptr, FILE_BEGIN); }
    Bytes Content() const {
        Bytes out(GetFileSize(handle, nullptr));
        DWORD got;
        Seek(0);
        if (!out.empty()) ReadFile(handle, out.data(), DWORD(out.size()), &got, nullptr);
        return out;
    }
};

// A file holding some leading bytes, the stream, and trailing bytes.
struct Layout {
    Bytes file;
    DWORD start;
    DWORD stream_size;
};
Layout Surround(const Bytes& stream, size_t before, size_t after) {
    Layout l{Bytes(before, 0x11), DWORD(before), DWORD(stream.size())};
    l.file.insert(l.file.end(), stream.begin(), stream.end());
    l.file.insert(l.file.end(), after, 0x22);
    return l;
}

TEST(StreamDecoder, DecodesFromTheFilePositionAndGivesBackReadAhead) {
    struct Case {
        const char* name;
        size_t output;
        size_t before, after;
        DWORD limit;  // 0: unbounded; else the packed size, or less
    } cases[] = {
        {"small, unbounded", 1000, 3, 5000, 0},
        {"spans input buffers", 300000, 4095, 9000, 0},
        {"bounded by its size", 300000, 17, 9000, ~DWORD(0)},
        {"bounded below its size", 300000, 17, 9000, 4097},
        {"stream ends at end of file", 70000, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes expected;
        Bytes stream = FixedBlockStream(c.output, 3, &expected);
        Layout l = Surround(stream, c.before, c.after);
        TempFile f(l.file);
        f.Seek(l.start);
        DWORD limit = c.limit == ~DWORD(0) ? l.stream_size : c.limit;
        Bytes out(expected.size() + 8, 0xCC);
        ASSERT_EQ(DecodeToMemory(out.data(), DWORD(expected.size()), f.handle, limit), 1);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
        EXPECT_EQ(out[expected.size()], 0xCC);
        EXPECT_EQ(f.Position(), l.start + l.stream_size);
    }
}

TEST(StreamDecoder, DecodesToFile) {
    for (size_t size : {size_t(0), size_t(32767), size_t(32768), size_t(32769), size_t(250000)}) {
        Bytes expected;
        Bytes stream = FixedBlockStream(size, 11, &expected);
        TempFile source(stream);
        TempFile target({});
        ASSERT_EQ(DecodeToFile(target.handle, source.handle, 0), 1) << size;
        EXPECT_TRUE(target.Content() == expected) << size;
    }
}

TEST(StreamDecoder, FailuresReturnZero) {
    Bytes expected;
    Bytes stream = FixedBlockStream(5000, 5, &expected);
    TempFile f(stream);
    Bytes out(expected.size());

    EXPECT_EQ(DecodeToMemory(out.data(), DWORD(out.size()), INVALID_HANDLE_VALUE, 0), 0);
    EXPECT_EQ(DecodeToMemory(nullptr, 100, f.handle, 0), 0);
    EXPECT_EQ(f.Position(), 0u) << "an invalid sink reads nothing";

    // One byte too small: refused, and nothing past the buffer is touched.
    Bytes small(expected.size() + 4, 0xCC);
    EXPECT_EQ(DecodeToMemory(small.data(), DWORD(expected.size() - 1), f.handle, 0), 0);
    for (size_t i = expected.size() - 1; i < small.size(); ++i) EXPECT_EQ(small[i], 0xCC);

    // A damaged stream: unknown block type.
    TempFile bad(Bytes{0x03, 0, 0, 0});
    EXPECT_EQ(DecodeToMemory(out.data(), DWORD(out.size()), bad.handle, 0), 0);
}

// A bounded read that loses its archive volume ends the decode as a failure.
TEST(StreamDecoder, LostArchiveVolumeFailsTheDecode) {
    // Stored blocks of noise: a stream longer than two input reads.
    Bytes expected(2 * kDecoderInputSize + 70000);
    uint32_t seed = 9;
    for (uint8_t& b : expected) b = uint8_t((seed = seed * 1103515245u + 12345u) >> 16);
    StreamWriter w;
    for (size_t at = 0; at < expected.size();) {
        size_t n = std::min<size_t>(expected.size() - at, 65535);
        w.Put(7 | (at + n == expected.size() ? 8 : 0), 4);
        w.AlignToByte();
        w.Put(uint32_t(n), 16);
        for (size_t i = 0; i < n; ++i) w.Put(expected[at + i], 8);
        at += n;
    }
    Bytes stream = w.Finish();
    TempFile f(stream);
    ArchiveReadHook saved = g_archive_read;
    static int reads;
    reads = 0;
    g_archive_read.read = [](HANDLE source, uint8_t* buffer, DWORD count, DWORD* delivered) {
        if (++reads > 1) return false;
        return ReadFile(source, buffer, count, delivered, nullptr) != 0;
    };
    Bytes out(expected.size());
    TempFile target({});
    EXPECT_EQ(DecodeToMemory(out.data(), DWORD(out.size()), f.handle, DWORD(stream.size())), 0);
    reads = 0;
    f.Seek(0);
    EXPECT_EQ(DecodeToFile(target.handle, f.handle, DWORD(stream.size())), 0);
    g_archive_read = saved;
    DWORD written = GetFileSize(target.handle, nullptr);
    EXPECT_LT(written, expected.size());
    EXPECT_EQ(written % 32768, 0u) << "nothing of an unfinished window is written";
}

}  // namespace
