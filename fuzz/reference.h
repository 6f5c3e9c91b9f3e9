// Plain reference readings of driver text for the fuzz targets to hold the
// program against: written without strstr or sscanf, so a fault shared with
// the C library's search or number scanning still shows as a disagreement.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Whitespace as the "C" locale has it; bytes with the high bit set never are.
inline bool reference_space(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The program's lookup rule: the first occurrence followed by whitespace or
// the end decides; the byte before is not looked at, and after a rejected
// occurrence the search goes on past its end, so overlapping occurrences are
// never seen.
inline int reference_has_extension(const std::string &list, const std::string &name) {
    if (list.empty() || name.empty()) return 0;
    size_t at = 0;
    while (at + name.size() <= list.size()) {
        if (list.compare(at, name.size(), name) != 0) {
            ++at;
            continue;
        }
        size_t after = at + name.size();
        if (after == list.size() || reference_space(static_cast<unsigned char>(list[after])))
            return 1;
        at = after;
    }
    return 0;
}

// True when the name stands in the list as a whole entry, delimited on both
// sides by whitespace or the ends. Whatever the rule above skips, it never
// skips such an entry when the name holds no whitespace of its own.
inline bool reference_whole_entry(const std::string &list, const std::string &name) {
    if (name.empty()) return false;
    for (size_t at = 0; at + name.size() <= list.size(); ++at) {
        if (list.compare(at, name.size(), name) != 0) continue;
        size_t after = at + name.size();
        bool open = at == 0 || reference_space(static_cast<unsigned char>(list[at - 1]));
        bool closed = after == list.size() ||
                      reference_space(static_cast<unsigned char>(list[after]));
        if (open && closed) return true;
    }
    return false;
}

// One decimal field as glibc's scanf reads it: leading whitespace, a sign,
// at least one digit; the magnitude saturates as strtoul's does.
struct ReferenceNumber {
    bool negative;
    bool saturated; // more than an unsigned long holds
    unsigned long magnitude;
};

inline bool reference_scan_number(const char *&at, ReferenceNumber *number) {
    while (reference_space(static_cast<unsigned char>(*at)))
        ++at;
    const char *p = at;
    number->negative = false;
    if (*p == '+' || *p == '-') number->negative = *p++ == '-';
    if (*p < '0' || *p > '9') return false;
    number->saturated = false;
    number->magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        unsigned digit = static_cast<unsigned>(*p - '0');
        if (number->magnitude > (ULONG_MAX - digit) / 10) number->saturated = true;
        if (!number->saturated) number->magnitude = number->magnitude * 10 + digit;
    }
    at = p;
    return true;
}

// %u: strtoul's result (ULONG_MAX when it saturates, negated when signed)
// stored into an unsigned int.
inline unsigned reference_as_unsigned(const ReferenceNumber &n) {
    unsigned long value = n.saturated ? ULONG_MAX : (n.negative ? 0UL - n.magnitude : n.magnitude);
    return static_cast<unsigned>(value);
}

// %d: strtol's result, clamped to the long range, stored into an int.
inline int reference_as_int(const ReferenceNumber &n) {
    long value;
    if (!n.negative)
        value = n.saturated || n.magnitude > LONG_MAX ? LONG_MAX : static_cast<long>(n.magnitude);
    else if (n.saturated || n.magnitude > static_cast<unsigned long>(LONG_MAX) + 1)
        value = LONG_MIN;
    else
        value = static_cast<long>(0UL - n.magnitude);
    return static_cast<int>(static_cast<uint32_t>(static_cast<unsigned long>(value)));
}

// Numbers separated by single dots, as "%d.%d" or "%d.%d.%d" reads them:
// how many fields converted before the first mismatch.
inline size_t reference_scan_dotted(const char *text, size_t fields,
                                    std::vector<ReferenceNumber> *numbers) {
    numbers->clear();
    const char *at = text;
    for (size_t i = 0; i < fields; ++i) {
        if (i > 0) {
            if (*at != '.') break;
            ++at;
        }
        ReferenceNumber number;
        if (!reference_scan_number(at, &number)) break;
        numbers->push_back(number);
    }
    return numbers->size();
}

// The version comparison rule: majors decide unless equal, by the sign of
// the 32-bit signed difference.
inline bool reference_at_least(unsigned major, unsigned minor, unsigned want_major,
                               unsigned want_minor) {
    uint32_t a = major != want_major ? major : minor;
    uint32_t b = major != want_major ? want_major : want_minor;
    uint32_t difference = a - b;
    bool negative = difference & 0x80000000u;
    return major != want_major ? !negative && difference != 0 : !negative;
}
