// Section writers. Each is a fixed sequence of stdio calls straight into the
// report stream: nothing is assembled in memory and nothing is escaped,
// because the front end parses these bytes as they stand. No flushing here;
// the isolated runner owns where the stream goes and when it is flushed.
#include "report/report.h"

#include <cstdarg>
#include <cstdio>

#include "target/target.h"

FILE *report_stream = stdout;

static void write_property_section(const char *key, const char *suffix, const char *format,
                                   va_list args) TARVEK_PRINTF(3, 0);

static void write_property_section(const char *key, const char *suffix, const char *format,
                                   va_list args) {
    fputs("[Properties]\n", report_stream);
    fprintf(report_stream, "\"%s%s\"=\"", key, suffix);
    vfprintf(report_stream, format, args);
    fputs("\"\n", report_stream);
    fputs("\n", report_stream);
}

void report_property(const char *key, const char *format, ...) {
    va_list args;
    va_start(args, format);
    write_property_section(key, "", format, args);
    va_end(args);
}

void report_arch_property(const char *key, const char *format, ...) {
    va_list args;
    va_start(args, format);
    write_property_section(key, arch_suffix, format, args);
    va_end(args);
}

void report_issue(const char *issue_id, const char *title) {
    fprintf(report_stream, "[%s%s]\n", issue_id, arch_suffix);
    fprintf(report_stream, "\"Title\"=\"%s\"\n", title);
    fputs("\n", report_stream);
}

static void write_library_lines(const char *kind, const char *soname) {
    fprintf(report_stream, "\"Lib\"=\"%s\"\n", soname);
    fputs("\"Title\"=\"", report_stream);
    fprintf(report_stream, "%s %d-bit %s library", kind, target_bits, soname);
    fputs("\"\n", report_stream);
    fputs("\n", report_stream);
}

void report_missing_library(const char *lib_id, const char *soname) {
    fprintf(report_stream, "[Missing%s%s]\n", lib_id, arch_suffix);
    write_library_lines("Missing", soname);
}

// The leading empty line is part of the format the front end knows: a broken
// library stands apart from the section before it.
void report_broken_library(const char *lib_id, const char *soname) {
    fprintf(report_stream, "\n[Broken%s%s]\n", lib_id, arch_suffix);
    write_library_lines("Broken", soname);
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
