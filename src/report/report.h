// The report on stdout and the debug trace on stderr. Every finding leaves the
// program through these writers, so the front end sees one exact format.
#pragma once

#include <cstdio>

#define TARVEK_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))

// Where the writers put the report: standard output until the runner points
// it at its own way out (the main process's private stdout, or a check
// child's report channel).
extern FILE *report_stream;

void report_property(const char *key, const char *format, ...) TARVEK_PRINTF(2, 3);
void report_arch_property(const char *key, const char *format, ...) TARVEK_PRINTF(2, 3);
void report_issue(const char *issue_id, const char *title);
void report_missing_library(const char *lib_id, const char *soname);
void report_broken_library(const char *lib_id, const char *soname);

// The trace stays silent until the driver turns it on ("--debug").
void set_debug_enabled(int enabled);
void debug_trace(const char *format, ...) TARVEK_PRINTF(1, 2);
int is_debug_enabled();
