// What each finding the report can name means to a person: what it breaks,
// which group it belongs to, how serious it is, and what to do when there
// is nothing to install.
#pragma once

enum FindingGroup {
    GROUP_GRAPHICS,
    GROUP_SOUND,
    GROUP_MULTIMEDIA,
    GROUP_SYSTEM,
    GROUP_OTHER, // other libraries, and sections this program does not know
    GROUP_COUNT,
};

extern const char *const group_titles[GROUP_COUNT];

struct FindingWords {
    const char *name;  // a library identifier, or an issue's name as in the report
    FindingGroup group;
    int rank;          // the most serious first, within the group
    // For a library, what its absence breaks ("{bits} programs cannot open a
    // window"); for an issue, the whole sentence. "{bits}" is the word size
    // ("32-bit").
    const char *text;
    const char *advice; // what to do besides installing, or null
};

// The row of a name, or null: a name this program does not know.
const FindingWords *finding_words(const char *name);
