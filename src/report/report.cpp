// Section writers. Each section is formatted whole in memory and handed to
// the report stream at once: nothing is escaped, because the front end
// parses these bytes as they stand. In a check child the stream is
// unbuffered, so a section leaves with one write the moment it is complete,
// and no buffer is left that a library's forked child could write a second
// time at its exit().
#include "report/report.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "target/target.h"

FILE *report_stream = stdout;

// Without memory for it, the section goes to the report piece by piece.
static void put_section(const char *format, ...) TARVEK_PRINTF(1, 2);
static void put_section(const char *format, ...) {
    va_list args;
    va_start(args, format);
    char *text = nullptr;
    int size = vasprintf(&text, format, args);
    va_end(args);
    if (size >= 0) {
        fwrite(text, 1, static_cast<size_t>(size), report_stream);
        free(text);
        return;
    }
    va_start(args, format);
    vfprintf(report_stream, format, args);
    va_end(args);
}

static void write_property(const char *key, const char *suffix, const char *format, va_list args)
    TARVEK_PRINTF(3, 0);
static void write_property(const char *key, const char *suffix, const char *format, va_list args) {
    char *value = nullptr;
    va_list copy;
    va_copy(copy, args);
    int size = vasprintf(&value, format, copy);
    va_end(copy);
    if (size >= 0) {
        put_section("[Properties]\n\"%s%s\"=\"%s\"\n\n", key, suffix, value);
        free(value);
        return;
    }
    fprintf(report_stream, "[Properties]\n\"%s%s\"=\"", key, suffix);
    vfprintf(report_stream, format, args);
    fputs("\"\n\n", report_stream);
}

void report_property(const char *key, const char *format, ...) {
    va_list args;
    va_start(args, format);
    write_property(key, "", format, args);
    va_end(args);
}

void report_arch_property(const char *key, const char *format, ...) {
    va_list args;
    va_start(args, format);
    write_property(key, arch_suffix, format, args);
    va_end(args);
}

void report_issue(const char *issue_id, const char *title) {
    put_section("[%s%s]\n\"Title\"=\"%s\"\n\n", issue_id, arch_suffix, title);
}

void report_missing_library(const char *lib_id, const char *soname) {
    put_section("[Missing%s%s]\n\"Lib\"=\"%s\"\n\"Title\"=\"Missing %d-bit %s library\"\n\n", lib_id,
                arch_suffix, soname, target_bits, soname);
}

// The leading empty line is part of the format the front end knows: a broken
// library stands apart from the section before it.
void report_broken_library(const char *lib_id, const char *soname) {
    put_section("\n[Broken%s%s]\n\"Lib\"=\"%s\"\n\"Title\"=\"Broken %d-bit %s library\"\n\n", lib_id,
                arch_suffix, soname, target_bits, soname);
}

// Set once by the driver from the command line; check children inherit it.
static int debug_enabled = 0;

void set_debug_enabled(int enabled) { debug_enabled = enabled; }

void debug_trace(const char *format, ...) {
    if (!debug_enabled) return;
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
}

int is_debug_enabled() { return debug_enabled; }
