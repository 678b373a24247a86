// Global memory blocks and the stream over them: locks, growth through writes and SetSize,
// seeking, Stat, who frees the block, blocks that cannot move, copying, interfaces, and clones
// used from several threads.
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/com.h"
#include "platform/kernel.h"

namespace {

LARGE_INTEGER Offset(LONGLONG value)
{
    LARGE_INTEGER offset;
    offset.QuadPart = value;
    return offset;
}

ULARGE_INTEGER Size(ULONGLONG value)
{
    ULARGE_INTEGER size;
    size.QuadPart = value;
    return size;
}

// A moveable block holding `text`.
HGLOBAL BlockWith(const std::string& text)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, text.size());
    void* bytes = GlobalLock(block);
    if (bytes)
        std::memcpy(bytes, text.data(), text.size());
    GlobalUnlock(block);
    return block;
}

std::string BlockText(HGLOBAL block)
{
    SIZE_T size = GlobalSize(block);
    if (size == 0)
        return {};
    std::string text(static_cast<const char*>(GlobalLock(block)), size);
    GlobalUnlock(block);
    return text;
}

ULONGLONG StreamSize(IStream* stream)
{
    STATSTG stat;
    EXPECT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    return stat.cbSize.QuadPart;
}

// Everything from the start, leaving the position at the end.
std::string ReadAll(IStream* stream)
{
    EXPECT_EQ(stream->Seek(Offset(0), STREAM_SEEK_SET, nullptr), S_OK);
    std::string text;
    char buffer[7];  // small, so that reads end part-way through the buffer
    ULONG read = 0;
    while (stream->Read(buffer, sizeof buffer, &read) == S_OK && read > 0)
        text.append(buffer, read);
    return text;
}

// ---------------------------------------------------------------------------------------------
// Global memory

TEST(GlobalMemory, MoveableBlocksCountLocksAndFixedBlocksAreTheirOwnAddress)
{
    HGLOBAL moveable = GlobalAlloc(GHND, 16);
    ASSERT_NE(moveable, nullptr);
    EXPECT_EQ(GlobalSize(moveable), 16u);
    auto* bytes = static_cast<BYTE*>(GlobalLock(moveable));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::vector<BYTE>(bytes, bytes + 16), std::vector<BYTE>(16, 0));  // GMEM_ZEROINIT
    EXPECT_EQ(GlobalLock(moveable), bytes);
    EXPECT_NE(GlobalUnlock(moveable), FALSE);  // one lock left
    SetLastError(ERROR_INVALID_DATA);
    EXPECT_EQ(GlobalUnlock(moveable), FALSE);
    EXPECT_EQ(GetLastError(), DWORD(NO_ERROR));
    EXPECT_EQ(GlobalUnlock(moveable), FALSE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_LOCKED));

    HGLOBAL fixed = GlobalAlloc(GPTR, 8);
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(GlobalLock(fixed), fixed);
    EXPECT_EQ(GlobalUnlock(fixed), TRUE);
    EXPECT_EQ(GlobalSize(fixed), 8u);

    HGLOBAL empty = GlobalAlloc(GMEM_MOVEABLE, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(GlobalLock(empty), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_DISCARDED));
    EXPECT_EQ(GlobalUnlock(empty), FALSE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_LOCKED));

    EXPECT_EQ(GlobalAlloc(GMEM_MOVEABLE | 0x8000, 4), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

    // Freed blocks, and handles that never were blocks, are refused rather than used.
    for (HGLOBAL block : {moveable, fixed, empty})
        EXPECT_EQ(GlobalFree(block), nullptr);
    int local = 0;
    for (HGLOBAL stale : {moveable, fixed, static_cast<HGLOBAL>(&local)}) {
        SetLastError(0);
        EXPECT_EQ(GlobalFree(stale), stale);
        EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
        EXPECT_EQ(GlobalSize(stale), 0u);
        EXPECT_EQ(GlobalLock(stale), nullptr);
        EXPECT_EQ(GlobalUnlock(stale), FALSE);
    }
}

// ---------------------------------------------------------------------------------------------
// The stream

TEST(HGlobalStream, WritesPastTheEndGrowTheBlockAndReadBack)
{
    HGLOBAL block = BlockWith("abcd");
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(block, FALSE, &stream), S_OK);
    EXPECT_EQ(StreamSize(stream.Get()), 4u);  // the block's bytes are the stream's

    // A write after a seek past the end leaves zeros in the gap.
    ULARGE_INTEGER position;
    ASSERT_EQ(stream->Seek(Offset(6), STREAM_SEEK_SET, &position), S_OK);
    EXPECT_EQ(position.QuadPart, 6u);
    ULONG written = 0;
    ASSERT_EQ(stream->Write("xy", 2, &written), S_OK);
    EXPECT_EQ(written, 2u);
    EXPECT_EQ(StreamSize(stream.Get()), 8u);
    EXPECT_EQ(GlobalSize(block), 8u);
    EXPECT_EQ(BlockText(block), std::string("abcd\0\0xy", 8));
    EXPECT_EQ(ReadAll(stream.Get()), std::string("abcd\0\0xy", 8));

    // At the end a read gives nothing, successfully.
    char byte;
    ULONG read = 5;
    EXPECT_EQ(stream->Read(&byte, 1, &read), S_OK);
    EXPECT_EQ(read, 0u);

    // Many small writes keep every byte in order.
    std::string expected = ReadAll(stream.Get());
    for (int i = 0; i < 3000; ++i) {
        char piece[3] = {char('a' + i % 26), char('0' + i % 10), char(i)};
        ASSERT_EQ(stream->Write(piece, 3, nullptr), S_OK);
        expected.append(piece, 3);
    }
    EXPECT_EQ(ReadAll(stream.Get()), expected);
    EXPECT_EQ(BlockText(block), expected);

    EXPECT_EQ(stream->Read(nullptr, 1, &read), STG_E_INVALIDPOINTER);
    EXPECT_EQ(stream->Write(nullptr, 1, &written), STG_E_INVALIDPOINTER);
    stream = nullptr;
    EXPECT_EQ(GlobalSize(block), expected.size());  // the caller's block, still there
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(HGlobalStream, SeekMovesFromItsOriginAndNeverBeforeTheStart)
{
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(BlockWith("0123456789"), TRUE, &stream), S_OK);
    struct Case {
        DWORD origin;
        LONGLONG move;
        HRESULT expected;
        ULONGLONG position;  // after the seek (unchanged on failure)
    } cases[] = {
        {STREAM_SEEK_SET, 4, S_OK, 4},
        {STREAM_SEEK_CUR, 3, S_OK, 7},
        {STREAM_SEEK_CUR, -7, S_OK, 0},
        {STREAM_SEEK_CUR, -1, STG_E_INVALIDFUNCTION, 0},
        {STREAM_SEEK_END, -2, S_OK, 8},
        {STREAM_SEEK_END, 5, S_OK, 15},  // past the end is allowed
        {STREAM_SEEK_END, -11, STG_E_INVALIDFUNCTION, 15},
        {STREAM_SEEK_SET, -1, S_OK, ~0ull},                  // read as unsigned
        {STREAM_SEEK_CUR, 1, STG_E_INVALIDFUNCTION, ~0ull},  // no wrap past the largest
        {STREAM_SEEK_SET, 2, S_OK, 2},
        {3, 0, STG_E_INVALIDFUNCTION, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "origin " << c.origin << " move " << c.move);
        EXPECT_EQ(stream->Seek(Offset(c.move), c.origin, nullptr), c.expected);
        ULARGE_INTEGER position;
        ASSERT_EQ(stream->Seek(Offset(0), STREAM_SEEK_CUR, &position), S_OK);
        EXPECT_EQ(position.QuadPart, c.position);
    }
    char two[2];
    ULONG read = 0;
    ASSERT_EQ(stream->Read(two, 2, &read), S_OK);
    EXPECT_EQ(std::string(two, read), "23");

    // Far past the end, reading gives nothing and writing refuses to grow beyond 4 GiB.
    ASSERT_EQ(stream->Seek(Offset(LONGLONG(1) << 40), STREAM_SEEK_SET, nullptr), S_OK);
    EXPECT_EQ(stream->Read(two, 2, &read), S_OK);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(stream->Write("x", 1, nullptr), STG_E_MEDIUMFULL);
    EXPECT_EQ(StreamSize(stream.Get()), 10u);
}

TEST(HGlobalStream, SetSizeAndStatDescribeTheBlock)
{
    HGLOBAL block = BlockWith("hello world");
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(block, FALSE, &stream), S_OK);
    ASSERT_EQ(stream->Seek(Offset(3), STREAM_SEEK_SET, nullptr), S_OK);

    EXPECT_EQ(stream->SetSize(Size(5)), S_OK);
    EXPECT_EQ(BlockText(block), "hello");
    EXPECT_EQ(stream->SetSize(Size(8)), S_OK);
    EXPECT_EQ(BlockText(block), std::string("hello\0\0\0", 8));  // regrown with zeros
    EXPECT_EQ(stream->SetSize(Size(ULONGLONG(1) << 33)), STG_E_MEDIUMFULL);
    EXPECT_EQ(GlobalSize(block), 8u);
    ULARGE_INTEGER position;
    ASSERT_EQ(stream->Seek(Offset(0), STREAM_SEEK_CUR, &position), S_OK);
    EXPECT_EQ(position.QuadPart, 3u);  // SetSize does not move the position

    STATSTG stat;
    std::memset(&stat, 0xAB, sizeof stat);
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_DEFAULT), S_OK);
    EXPECT_EQ(stat.pwcsName, nullptr);
    EXPECT_EQ(stat.type, DWORD(STGTY_STREAM));
    EXPECT_EQ(stat.cbSize.QuadPart, 8u);
    EXPECT_EQ(stat.grfMode, DWORD(STGM_READWRITE));
    EXPECT_EQ(stat.grfLocksSupported, 0u);
    EXPECT_EQ(stat.clsid, CLSID_NULL);
    EXPECT_EQ(stream->Stat(&stat, 7), STG_E_INVALIDFLAG);
    EXPECT_EQ(stream->Stat(nullptr, STATFLAG_NONAME), STG_E_INVALIDPOINTER);

    stream = nullptr;
    GlobalFree(block);
}

TEST(HGlobalStream, TheBlockGoesWithTheLastStreamOnlyWhenItIsTheStreams)
{
    // Deleted on release: a clone keeps the block, with a position of its own.
    HGLOBAL owned = BlockWith("shared bytes");
    ComPtr<IStream> stream, clone;
    ASSERT_EQ(CreateStreamOnHGlobal(owned, TRUE, &stream), S_OK);
    ASSERT_EQ(stream->Seek(Offset(7), STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(stream->Clone(&clone), S_OK);
    ASSERT_EQ(stream->Seek(Offset(0), STREAM_SEEK_SET, nullptr), S_OK);
    char five[5];
    ULONG read = 0;
    ASSERT_EQ(clone->Read(five, 5, &read), S_OK);
    EXPECT_EQ(std::string(five, read), "bytes");
    stream = nullptr;
    EXPECT_EQ(GlobalSize(owned), 12u);
    EXPECT_EQ(ReadAll(clone.Get()), "shared bytes");
    clone = nullptr;
    SetLastError(0);
    EXPECT_EQ(GlobalSize(owned), 0u);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));

    // Kept on release: the block outlives the stream with what was written.
    HGLOBAL kept = GlobalAlloc(GMEM_MOVEABLE, 0);
    ASSERT_EQ(CreateStreamOnHGlobal(kept, FALSE, &stream), S_OK);
    ASSERT_EQ(stream->Write("kept", 4, nullptr), S_OK);
    stream = nullptr;
    EXPECT_EQ(BlockText(kept), "kept");

    // A caller that frees its block too early gets errors from the stream, not freed memory.
    ASSERT_EQ(CreateStreamOnHGlobal(kept, FALSE, &stream), S_OK);
    EXPECT_EQ(GlobalFree(kept), nullptr);
    EXPECT_EQ(stream->Read(five, 5, &read), STG_E_INVALIDHANDLE);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(stream->Write("x", 1, nullptr), STG_E_INVALIDHANDLE);
    EXPECT_EQ(stream->Clone(&clone), STG_E_INVALIDHANDLE);
    EXPECT_FALSE(clone);
    stream = nullptr;

    // Without a block, the stream makes its own and frees it (the leak checker would see it
    // otherwise), whatever deleteOnRelease says.
    for (BOOL deleteOnRelease : {FALSE, TRUE}) {
        ASSERT_EQ(CreateStreamOnHGlobal(nullptr, deleteOnRelease, &stream), S_OK);
        EXPECT_EQ(StreamSize(stream.Get()), 0u);
        ASSERT_EQ(stream->Write("new", 3, nullptr), S_OK);
        EXPECT_EQ(ReadAll(stream.Get()), "new");
        stream = nullptr;
    }

    int local = 0;
    EXPECT_EQ(CreateStreamOnHGlobal(static_cast<HGLOBAL>(&local), FALSE, &stream), E_INVALIDARG);
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, nullptr), E_INVALIDARG);
}

TEST(HGlobalStream, BlocksThatCannotMoveDoNotGrow)
{
    // A locked block: its pointer stays valid, so the stream writes in place or not at all.
    HGLOBAL locked = BlockWith("1234");
    auto* bytes = static_cast<char*>(GlobalLock(locked));
    ASSERT_NE(bytes, nullptr);
    // A fixed block: its handle is its address.
    HGLOBAL fixed = GlobalAlloc(GMEM_FIXED, 4);
    std::memcpy(fixed, "1234", 4);

    for (HGLOBAL block : {locked, fixed}) {
        ComPtr<IStream> stream;
        ASSERT_EQ(CreateStreamOnHGlobal(block, FALSE, &stream), S_OK);
        ASSERT_EQ(stream->Write("ab", 2, nullptr), S_OK);
        ULONG written = 9;
        EXPECT_EQ(stream->Write("cdef", 4, &written), STG_E_MEDIUMFULL);
        EXPECT_EQ(written, 0u);
        EXPECT_EQ(stream->SetSize(Size(5)), STG_E_MEDIUMFULL);
        EXPECT_EQ(stream->SetSize(Size(3)), S_OK);  // shrinking moves nothing
        EXPECT_EQ(GlobalSize(block), 3u);
        EXPECT_EQ(ReadAll(stream.Get()), "ab3");
    }
    EXPECT_EQ(std::string(bytes, 3), "ab3");
    EXPECT_EQ(static_cast<char*>(GlobalLock(fixed))[0], 'a');

    // Once unlocked, the moveable block grows.
    EXPECT_EQ(GlobalUnlock(locked), FALSE);
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(locked, TRUE, &stream), S_OK);
    ASSERT_EQ(stream->Seek(Offset(0), STREAM_SEEK_END, nullptr), S_OK);
    EXPECT_EQ(stream->Write("cdef", 4, nullptr), S_OK);
    EXPECT_EQ(ReadAll(stream.Get()), "ab3cdef");
    GlobalFree(fixed);
}

TEST(HGlobalStream, CopiesToAnotherStreamAndAnswersAsOneObject)
{
    std::string text;
    for (int i = 0; i < 200000; ++i)
        text += char('A' + i % 23);  // several copy pieces
    ComPtr<IStream> source, target;
    ASSERT_EQ(CreateStreamOnHGlobal(BlockWith(text), TRUE, &source), S_OK);
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &target), S_OK);
    ASSERT_EQ(source->Seek(Offset(5), STREAM_SEEK_SET, nullptr), S_OK);
    ULARGE_INTEGER read, written;
    ASSERT_EQ(source->CopyTo(target.Get(), Size(150000), &read, &written), S_OK);
    EXPECT_EQ(read.QuadPart, 150000u);
    EXPECT_EQ(written.QuadPart, 150000u);
    EXPECT_EQ(ReadAll(target.Get()), text.substr(5, 150000));
    // Asking for more than remains copies the rest.
    ASSERT_EQ(source->CopyTo(target.Get(), Size(~0ull), &read, &written), S_OK);
    EXPECT_EQ(read.QuadPart, text.size() - 150005);
    EXPECT_EQ(ReadAll(target.Get()), text.substr(5));
    EXPECT_EQ(source->CopyTo(nullptr, Size(1), &read, &written), STG_E_INVALIDPOINTER);

    // One identity through each interface; no region locks; nothing to commit or revert.
    ComPtr<IUnknown> unknown;
    ComPtr<ISequentialStream> sequential;
    ComPtr<IStream> back;
    ASSERT_EQ(source.As(&unknown), S_OK);
    ASSERT_EQ(unknown.As(&sequential), S_OK);
    ASSERT_EQ(sequential.As(&back), S_OK);
    EXPECT_EQ(back, source);
    ComPtr<IClassFactory> none;
    EXPECT_EQ(source.As(&none), E_NOINTERFACE);
    EXPECT_FALSE(none);
    EXPECT_EQ(source->LockRegion(Size(0), Size(1), LOCK_WRITE), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(source->UnlockRegion(Size(0), Size(1), LOCK_WRITE), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(source->Commit(STGC_DEFAULT), S_OK);
    EXPECT_EQ(source->Revert(), S_OK);
}

TEST(HGlobalStream, ClonesWriteFromSeveralThreads)
{
    constexpr int kThreads = 4, kPiece = 1000, kRounds = 50;
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        ComPtr<IStream> clone;
        ASSERT_EQ(stream->Clone(&clone), S_OK);
        writers.emplace_back([t, clone] {
            std::string piece(kPiece, char('a' + t));
            for (int round = 0; round < kRounds; ++round) {
                EXPECT_EQ(clone->Seek(Offset(LONGLONG(t) * kPiece), STREAM_SEEK_SET, nullptr),
                          S_OK);
                EXPECT_EQ(clone->Write(piece.data(), kPiece, nullptr), S_OK);
            }
        });
    }
    for (std::thread& writer : writers)
        writer.join();
    std::string expected;
    for (int t = 0; t < kThreads; ++t)
        expected += std::string(kPiece, char('a' + t));
    EXPECT_EQ(ReadAll(stream.Get()), expected);
}

}  // namespace
