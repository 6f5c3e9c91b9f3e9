// The registry scan on byte buffers: what it counts, where it stops looking,
// and that no length or content makes it read outside what it was given.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "checks/gstreamer/registry_repair.h"

namespace {

std::string strings_of(const std::string &text, int count) {
    std::string out;
    for (int i = 0; i < count; ++i)
        out += text + '\0';
    return out;
}

int count(const std::string &data) { return count_registry_markers(data.data(), data.size()); }

struct ScanCase {
    const char *what;
    std::string data;
    int expected;
};

TEST(RegistryScan, CountsMarkersAsTheCacheHoldsThem) {
    const std::string pad(15, 'p');
    const std::vector<ScanCase> cases = {
        {"nothing read", "", 0},
        {"10 bytes are never scanned", "BLACKLIST", 0},
        {"10 bytes, marker and NUL", std::string("BLACKLIST\0", 10), 0},
        {"11 bytes are", std::string("BLACKLIST\0x", 11), 1},
        {"eight", strings_of("BLACKLIST", 8) + pad, 8},
        {"nine condemn the file", strings_of("BLACKLIST", 9) + pad, 9},
        {"counting stops at nine", strings_of("BLACKLIST", 40) + pad, 9},
        {"a ninth string within the last 10 bytes is not looked into", strings_of("BLACKLIST", 9),
         8},
        {"back to back in one string", std::string("BLACKLISTBLACKLIST") + pad, 2},
        {"overlapping text is one marker", std::string("BLACKLISTLIST") + pad, 1},
        {"case matters", strings_of("blacklist", 9) + strings_of("BlackList", 9) + pad, 0},
        {"a marker cut by a NUL is none", std::string("BLACK\0LIST", 10) + pad, 0},
        {"markers among other strings",
         strings_of("plugin", 3) + "xxBLACKLISTyy" + '\0' + strings_of("BLACKLIST", 8) + pad, 9},
    };
    for (const auto &c : cases)
        EXPECT_EQ(count(c.data), c.expected) << c.what;
}

// Only the first 1023 bytes take part: byte 1023 is always a terminator.
TEST(RegistryScan, SeesOnlyTheFirst1023Bytes) {
    auto with_ninth_at = [](size_t offset, size_t total) {
        std::string data = strings_of("BLACKLIST", 8);
        data += std::string(offset - data.size(), 'x') + "BLACKLIST";
        if (data.size() < total) data += std::string(total - data.size(), 'y');
        return data;
    };
    EXPECT_EQ(count(with_ninth_at(1014, 1024)), 9) << "ends at byte 1022";
    EXPECT_EQ(count(with_ninth_at(1015, 1024)), 8) << "reaches byte 1023";
    EXPECT_EQ(count(with_ninth_at(1015, 4096)), 8) << "more data changes nothing";
    // A string starting below n - 10 is searched to its terminator, past the bound.
    EXPECT_EQ(count(with_ninth_at(1010, 1020)), 9);
    std::string after = std::string(1024, 'z') + strings_of("BLACKLIST", 20);
    EXPECT_EQ(count(after), 0);
}

// The scan stops at the length it is given even where the bytes behind it
// go on: a short read is terminated where it ends.
TEST(RegistryScan, StopsAtTheBytesRead) {
    std::string one_string = std::string(20, 'a') + "BLACKLIST" + std::string(20, 'b');
    EXPECT_EQ(count_registry_markers(one_string.data(), 28), 0) << "marker cut by the end";
    EXPECT_EQ(count_registry_markers(one_string.data(), 29), 1);
    std::string strings = std::string(39, 'a') + '\0' + strings_of("BLACKLIST", 20);
    EXPECT_EQ(count_registry_markers(strings.data(), 40), 0);
    EXPECT_EQ(count_registry_markers(strings.data(), 50), 0) << "string starts at n - 10";
    EXPECT_EQ(count_registry_markers(strings.data(), 51), 1);
}

// Arbitrary bytes of any length give a count in range, and nothing past
// the first kilobyte matters. (Run under a sanitizer, this also shows that
// no input reads outside its buffer.)
TEST(RegistryScan, ArbitraryBytesAreSafe) {
    std::mt19937 random(12345);
    const char alphabet[] = {'\0', 'B', 'L', 'A', 'C', 'K', 'I', 'S', 'T', 'x'};
    for (int round = 0; round < 2000; ++round) {
        size_t length = random() % 1500;
        std::vector<char> data(length);
        for (auto &byte : data)
            byte = alphabet[random() % sizeof alphabet];
        int counted = count_registry_markers(data.data(), length);
        ASSERT_GE(counted, 0);
        ASSERT_LE(counted, registry_broken_count);
        if (length > registry_read_size) {
            ASSERT_EQ(counted, count_registry_markers(data.data(), registry_read_size));
        }
    }
}

} // namespace
