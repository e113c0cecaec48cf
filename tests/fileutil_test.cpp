// Signature detection and whole-file byte transfer.
#include <gtest/gtest.h>

#include "fileutil/fileutil.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

bytes counting_bytes(std::size_t n) {
    bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    return b;
}

}  // namespace

TEST(MagicType, ClassifiesByFirstBytes) {
    struct Case {
        bytes start;
        std::int32_t format;
    };
    const bytes png = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<Case> cases = {
        {{'B', 'M'}, 1},
        {{'B', 'M', 0, 0, 0, 0, 0, 0, 9}, 1},
        {{'B', 'A', 0, 0}, -1},
        {png, 2},
        {{0xFF, 0xD8, 0xFF, 0xE0}, 3},
        {{0xFF, 0xD8, 0xFF, 0xE1, 1, 2}, 3},
        {{0xFF, 0xD8, 0xFF, 0xDB}, 3},
        {{0xFF, 0xD8, 0xFF, 0xE2}, -1},
        {{0xFF, 0xD8, 0xFF, 0xFE}, -1},
        {{0xFF, 0xD8, 0xFF}, -1},  // short file: missing bytes count as zero
        {{0x89, 0x50, 0x4E, 0x47}, -1},
        {{'B'}, -1},
        {{}, -1},
        {{'G', 'I', 'F', '8', '9', 'a'}, -1},
    };
    for (std::size_t i = 0; i < png.size(); ++i) {
        bytes changed = png;
        changed[i] ^= 0x01;
        cases.push_back({changed, -1});
    }
    TempDir dir;
    const std::string path = dir.file("probe.dat");
    for (const Case &c : cases) {
        write_file(path, c.start);
        OutputCapture out(1);
        EXPECT_EQ(rasterkit_magic_type(path.c_str()), c.format) << c.start.size() << " bytes";
        EXPECT_EQ(out.finish(), "");
    }
}

TEST(MagicType, MissingFilePrintsAndFails) {
    TempDir dir;
    const std::string path = dir.file("absent.png");
    OutputCapture out(1);
    EXPECT_EQ(rasterkit_magic_type(path.c_str()), -1);
    EXPECT_EQ(out.finish(), "rasterkitmagic_type: " + path + " could not be opened!\n");
}

TEST(FileLength, MeasuresAndRewinds) {
    TempDir dir;
    const std::string path = dir.file("len.dat");
    write_file(path, counting_bytes(1234));
    std::FILE *file = std::fopen(path.c_str(), "rb");
    std::fseek(file, 100, SEEK_SET);
    EXPECT_EQ(rasterkit_filelength(file), 1234);
    EXPECT_EQ(std::ftell(file), 0);
    std::fclose(file);
}

TEST(ReadBinFile, ReadsWholeOrCutFilesAndReportsTheCount) {
    struct Case {
        std::size_t file_size;
        std::int32_t capacity;
        std::int32_t expected_count;
    };
    const Case cases[] = {
        {10000, 10000000, 10000}, {10000, 5000, 5000}, {4096, 4096, 4096}, {4097, 10000, 4097},
        {0, 100, 0},              {1, 1, 1},           {8192, 8191, 8191},
    };
    TempDir dir;
    const std::string path = dir.file("data.bin");
    for (const Case &c : cases) {
        const bytes content = counting_bytes(c.file_size);
        write_file(path, content);
        bytes buffer(static_cast<std::size_t>(c.capacity) + 16, 0xCC);
        std::int32_t count = -7;
        EXPECT_EQ(rasterkit_readbinfile(path.c_str(), buffer.data(), c.capacity, &count), 0);
        EXPECT_EQ(count, c.expected_count) << c.file_size << " into " << c.capacity;
        EXPECT_TRUE(std::equal(content.begin(), content.begin() + count, buffer.begin()));
        EXPECT_EQ(buffer[static_cast<std::size_t>(count)], 0xCC) << "wrote past the bytes it took";
    }
}

TEST(ReadBinFile, UnusableArgumentsFailAndLeaveCount) {
    TempDir dir;
    const std::string path = dir.file("data.bin");
    write_file(path, counting_bytes(10));
    std::uint8_t buffer[16];
    std::int32_t count = 42;
    EXPECT_EQ(rasterkit_readbinfile(nullptr, buffer, 16, &count), -1);
    EXPECT_EQ(rasterkit_readbinfile(path.c_str(), nullptr, 16, &count), -1);
    EXPECT_EQ(rasterkit_readbinfile(path.c_str(), buffer, 0, &count), -1);
    EXPECT_EQ(rasterkit_readbinfile(path.c_str(), buffer, -5, &count), -1);
    EXPECT_EQ(count, 42);

    // An unopenable path is reported even when the buffer is unusable too.
    const std::string absent = dir.file("absent.bin");
    OutputCapture out(1);
    EXPECT_EQ(rasterkit_readbinfile(absent.c_str(), nullptr, 0, &count), -1);
    EXPECT_EQ(out.finish(), "rasterkit_readbinfile:: could not open " + absent + " for reading.\n");
    EXPECT_EQ(count, 42);
}

TEST(ReadBinFile, CountsTheBytesThatArrivedNotTheLengthClaimed) {
    // A sysfs attribute claims a length of a whole page and delivers a few
    // bytes, as a file that shrinks while it is read would.
    const std::string path = "/sys/devices/system/cpu/online";
    if (!file_exists(path)) GTEST_SKIP() << path << " not present";
    const bytes content = read_file(path);
    bytes buffer(10000, 0xCC);
    std::int32_t count = -1;
    EXPECT_EQ(rasterkit_readbinfile(path.c_str(), buffer.data(), 10000, &count), 0);
    EXPECT_EQ(count, static_cast<std::int32_t>(content.size()));
    EXPECT_TRUE(std::equal(content.begin(), content.end(), buffer.begin()));
}

TEST(ReadBinFile, NullCountPointerStillReads) {
    TempDir dir;
    const std::string path = dir.file("data.bin");
    const bytes content = counting_bytes(300);
    write_file(path, content);
    bytes buffer(300);
    EXPECT_EQ(rasterkit_readbinfile(path.c_str(), buffer.data(), 300, nullptr), 0);
    EXPECT_EQ(buffer, content);
}

TEST(WriteBinFile, RoundTripAndReplacement) {
    TempDir dir;
    const std::string source = dir.file("source.bin");
    const std::string copy = dir.file("copy.bin");
    const bytes content = counting_bytes(20000);
    write_file(source, content);
    write_file(copy, bytes(50000, 1));
    bytes buffer(100000);
    std::int32_t count = 0;
    ASSERT_EQ(rasterkit_readbinfile(source.c_str(), buffer.data(), 100000, &count), 0);
    EXPECT_EQ(rasterkit_writebinfile(copy.c_str(), buffer.data(), count), 0);
    EXPECT_EQ(read_file(copy), content);

    EXPECT_EQ(rasterkit_writebinfile(copy.c_str(), buffer.data(), 0), 0);
    EXPECT_EQ(file_size(copy), 0);
    EXPECT_EQ(rasterkit_writebinfile(copy.c_str(), nullptr, 0), 0);
}

TEST(WriteBinFile, RefusedArgumentsCreateNoFile) {
    TempDir dir;
    const std::string path = dir.file("never.bin");
    const std::uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_EQ(rasterkit_writebinfile(path.c_str(), data, -1), -1);
    EXPECT_EQ(rasterkit_writebinfile(path.c_str(), nullptr, 4), -1);
    EXPECT_EQ(rasterkit_writebinfile(nullptr, data, 4), -1);
    EXPECT_FALSE(file_exists(path));

    const std::string bad = dir.file("no/such/dir.bin");
    OutputCapture out(1);
    EXPECT_EQ(rasterkit_writebinfile(bad.c_str(), data, 4), -1);
    EXPECT_EQ(out.finish(), "rasterkit_writebinfile:: could not open " + bad + " for writing.\n");
}
