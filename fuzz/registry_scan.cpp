// The registry cache scan on raw file bytes, at every length the fuzzer
// tries (a short read, a full 1024-byte read, more than is ever read): each
// call gets a heap copy of exactly its length, so any read past it is caught.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "checks/gstreamer/registry_repair.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

static const char marker[] = "BLACKLIST";
constexpr size_t marker_length = sizeof marker - 1;

// The scan as a file reader sees it: what was read, NUL-terminated after the
// last byte and at index 1023; strings starting below n - 10 are searched to
// their own terminator, the search resuming past each match.
static int reference_count(const char *data, size_t length) {
    size_t n = length < registry_read_size ? length : registry_read_size;
    if (n <= 10) return 0;
    char text[registry_read_size + 1];
    memcpy(text, data, n);
    text[n] = '\0';
    text[registry_read_size - 1] = '\0';
    int count = 0;
    size_t position = 0;
    while (position < n - 10) {
        size_t end = position;
        while (text[end] != '\0')
            ++end;
        size_t hit = position;
        while (hit + marker_length <= end && memcmp(text + hit, marker, marker_length) != 0)
            ++hit;
        if (hit + marker_length > end) {
            position = end + 1;
            continue;
        }
        if (++count == registry_broken_count) break;
        position = hit + marker_length;
    }
    return count;
}

static int scan_copy(const uint8_t *data, size_t length) {
    char *copy = static_cast<char *>(malloc(length ? length : 1));
    if (!copy) return 0;
    if (length) memcpy(copy, data, length);
    int count = count_registry_markers(copy, length);
    int expected = reference_count(copy, length);
    free(copy);
    if (count < 0 || count > registry_broken_count) __builtin_trap();
    if (count != expected) __builtin_trap();
    return count;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    int whole = scan_copy(data, size);
    // A shorter read of the same file, its length taken from the first two
    // bytes: never more markers than the whole read gives.
    if (size >= 2) {
        size_t shorter = (static_cast<size_t>(data[0]) << 8 | data[1]) % (size + 1);
        if (scan_copy(data, shorter) > whole) __builtin_trap();
    }
    // Nothing past the bytes read ever counts.
    if (size > registry_read_size && scan_copy(data, registry_read_size) != whole) __builtin_trap();
    return 0;
}
