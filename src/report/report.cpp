// Section writers. Each is a fixed sequence of stdio calls into a section
// of its own in memory, handed to the report stream whole once complete:
// nothing is escaped, because the front end parses these bytes as they
// stand. In a check child the stream is unbuffered, so a section leaves
// with one write the moment it is complete, and no buffer is left that a
// library's forked child could write a second time at its exit().
#include "report/report.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "target/target.h"

FILE *report_stream = stdout;

struct Section {
    FILE *out;
    char *text;
    size_t size;
};

// Without memory for it, the section goes to the report piece by piece.
static Section begin_section() {
    Section section = {nullptr, nullptr, 0};
    section.out = open_memstream(&section.text, &section.size);
    if (!section.out) section.out = report_stream;
    return section;
}

static void end_section(Section *section) {
    if (section->out == report_stream) return;
    if (fclose(section->out) == 0) fwrite(section->text, 1, section->size, report_stream);
    free(section->text);
}

static void write_property_section(const char *key, const char *suffix, const char *format,
                                   va_list args) TARVEK_PRINTF(3, 0);

static void write_property_section(const char *key, const char *suffix, const char *format,
                                   va_list args) {
    Section section = begin_section();
    fputs("[Properties]\n", section.out);
    fprintf(section.out, "\"%s%s\"=\"", key, suffix);
    vfprintf(section.out, format, args);
    fputs("\"\n", section.out);
    fputs("\n", section.out);
    end_section(&section);
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
    Section section = begin_section();
    fprintf(section.out, "[%s%s]\n", issue_id, arch_suffix);
    fprintf(section.out, "\"Title\"=\"%s\"\n", title);
    fputs("\n", section.out);
    end_section(&section);
}

static void write_library_lines(Section *section, const char *kind, const char *soname) {
    fprintf(section->out, "\"Lib\"=\"%s\"\n", soname);
    fputs("\"Title\"=\"", section->out);
    fprintf(section->out, "%s %d-bit %s library", kind, target_bits, soname);
    fputs("\"\n", section->out);
    fputs("\n", section->out);
    end_section(section);
}

void report_missing_library(const char *lib_id, const char *soname) {
    Section section = begin_section();
    fprintf(section.out, "[Missing%s%s]\n", lib_id, arch_suffix);
    write_library_lines(&section, "Missing", soname);
}

// The leading empty line is part of the format the front end knows: a broken
// library stands apart from the section before it.
void report_broken_library(const char *lib_id, const char *soname) {
    Section section = begin_section();
    fprintf(section.out, "\n[Broken%s%s]\n", lib_id, arch_suffix);
    write_library_lines(&section, "Broken", soname);
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
