#include <gtest/gtest.h>

#include <string>

#include "kvwin/file_handle.h"
#include "win/files.h"

namespace {

// What one end writes the other reads, in order; each end refuses the other direction;
// closing the write end is the reader's end of data.
TEST(Pipes, CarryBytesOneWayUntilTheWriterCloses) {
    HANDLE r = nullptr, w = nullptr;
    ASSERT_TRUE(CreatePipe(&r, &w, nullptr, 0));
    FileHandle read_end(r), write_end(w);
    DWORD n = 0;
    ASSERT_TRUE(WriteFile(w, "abc", 3, &n, nullptr));
    EXPECT_EQ(n, 3u);
    char buffer[8] = {};
    EXPECT_FALSE(WriteFile(r, "x", 1, &n, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(ReadFile(w, buffer, 1, &n, nullptr));
    write_end.Close();
    ASSERT_TRUE(ReadFile(r, buffer, sizeof buffer, &n, nullptr));
    EXPECT_EQ(std::string(buffer, n), "abc");
    ASSERT_TRUE(ReadFile(r, buffer, sizeof buffer, &n, nullptr));
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(CreatePipe(nullptr, &w, nullptr, 0));
}

// A PIPE_NOWAIT write end writes what fits and then nothing, without blocking; once read
// from, it takes more.
TEST(Pipes, ANoWaitWriteEndStopsWhenFull) {
    HANDLE r = nullptr, w = nullptr;
    ASSERT_TRUE(CreatePipe(&r, &w, nullptr, 0));
    FileHandle read_end(r), write_end(w);
    DWORD mode = PIPE_NOWAIT;
    ASSERT_TRUE(SetNamedPipeHandleState(w, &mode, nullptr, nullptr));
    const std::string block(1 << 16, 'x');
    DWORD total = 0, n = 0;
    for (int i = 0; i < 64; ++i) {
        ASSERT_TRUE(WriteFile(w, block.data(), DWORD(block.size()), &n, nullptr));
        total += n;
        if (n < block.size())
            break;
    }
    EXPECT_GT(total, 0u);
    ASSERT_TRUE(WriteFile(w, block.data(), DWORD(block.size()), &n, nullptr));
    EXPECT_EQ(n, 0u);
    std::string sink(total, '\0');
    ASSERT_TRUE(ReadFile(r, sink.data(), 4096, &n, nullptr));
    ASSERT_TRUE(WriteFile(w, block.data(), 10, &n, nullptr));
    EXPECT_EQ(n, 10u);
    DWORD bad = 0x100;
    EXPECT_FALSE(SetNamedPipeHandleState(w, &bad, nullptr, nullptr));
}

}  // namespace
