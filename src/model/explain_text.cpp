// Layout: a header line; the notes of tools that could not answer; per word
// size checked, what a person asks about, the findings by group with the fix
// under each, one install command; a last line with the counts.
#include "model/explain_text.h"

#include <algorithm>
#include <cstring>

#include "checks/gstreamer/plugin_packs.h"
#include "model/finding_words.h"

namespace {

std::string word_size(int bits) { return std::to_string(bits) + "-bit"; }

std::string filled(const char *text, int bits) {
    std::string out = text;
    for (size_t at; (at = out.find("{bits}")) != std::string::npos;) out.replace(at, 6, word_size(bits));
    if (!out.empty()) out[0] = (char)toupper((unsigned char)out[0]);
    return out;
}

const PluginPack *plugin_pack(const std::string &name) {
    for (const PluginPack *pack = plugin_pack_table; pack->issue_id; ++pack)
        if (name == pack->issue_id) return pack;
    return nullptr;
}

std::string pack_sentence(const PluginPack &pack, int bits) {
    std::string elements;
    for (int i = 0; i < 8 && pack.elements[i]; ++i)
        elements += std::string(i ? ", " : "") + pack.elements[i];
    return "GStreamer's " + std::string(pack.pack_name) + " lacks " + elements + " for " +
           word_size(bits) + " programs: media that need them do not play.";
}

FindingGroup group_of(const Finding &finding) {
    const FindingWords *words = finding_words(table_name(finding).c_str());
    if (words) return words->group;
    return plugin_pack(table_name(finding)) ? GROUP_MULTIMEDIA : GROUP_OTHER;
}

int rank_of(const Finding &finding) {
    const FindingWords *words = finding_words(table_name(finding).c_str());
    return words ? words->rank : 100;
}

std::string property(const WordSizeModel &side, const char *key) {
    for (const Property &p : side.properties)
        if (p.key == key) return p.value;
    return "";
}

void render_properties(const WordSizeModel &side, std::string *out) {
    std::string depth = property(side, "display.depth"), dpi = property(side, "display.dpi");
    // A negative dpi is the report's way of saying the Xft.dpi resource is unset.
    if (!dpi.empty() && dpi[0] == '-') dpi = "no Xft.dpi setting";
    else if (!dpi.empty()) dpi += " dpi";
    if (!depth.empty() || !dpi.empty())
        *out += "  Display: depth " + (depth.empty() ? "unknown" : depth) + ", " +
                (dpi.empty() ? "dpi unknown" : dpi) + ".\n";
    std::string renderer = property(side, "opengl.renderer");
    if (renderer.empty()) return;
    *out += "  OpenGL: " + property(side, "opengl.vendor") + ", " + renderer + ", version " +
            property(side, "opengl.version") + ".\n";
    if (is_software_renderer(renderer))
        *out += "  That renderer is a software rasteriser: there is no hardware OpenGL driver "
                "for " + word_size(side.bits) + " programs.\n";
}

std::string fix_text(const Finding &finding, const FindingFix &fix, DistroFamily family,
                     int bits) {
    std::string packages;
    for (const std::string &p : fix.packages) packages += (packages.empty() ? "" : " ") + p;
    switch (fix.source) {
    case FIX_SIBLING:
        return "Fix: install " + packages + " (from the package of the " +
               word_size(bits == 32 ? 64 : 32) + " copy, " + fix.sibling + ").";
    case FIX_TABLE:
        return "Fix: install " + packages + ".";
    case FIX_SEARCH:
        return "Fix: find its package with: " + fix.command;
    case FIX_BROKEN:
        return "It belongs to " + fix.owner + "; check its files with: " + fix.command;
    case FIX_NONE:
        break;
    }
    if (finding.soname.empty() || finding.kind == FINDING_BROKEN || family != FAMILY_OTHER)
        return "";
    return "Look for the package that holds the " + word_size(bits) + " " + finding.soname + ".";
}

void render_finding(const Finding &finding, const FindingFix &fix, DistroFamily family,
                    int bits, std::string *out) {
    *out += "  - " + finding_sentence(finding, bits) + "\n";
    const FindingWords *words = finding_words(table_name(finding).c_str());
    std::string fix_line = fix_text(finding, fix, family, bits);
    if (!fix_line.empty()) *out += "    " + fix_line + "\n";
    if (finding.kind == FINDING_BROKEN)
        *out += "    Nothing to install: run the program with --debug to see where it stops.\n";
    if (words && words->advice) *out += "    " + filled(words->advice, bits) + "\n";
}

void render_side(const WordSizeModel &side, const std::vector<FindingFix> &fixes,
                 DistroFamily family, std::string *out) {
    *out += "\n" + word_size(side.bits) + " programs:\n";
    render_properties(side, out);
    std::vector<size_t> order(side.findings.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    // Report order among equals; std::sort, as a stable sort's buffer would
    // bring the exception runtime into the program.
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const Finding &x = side.findings[a], &y = side.findings[b];
        if (group_of(x) != group_of(y)) return group_of(x) < group_of(y);
        if (rank_of(x) != rank_of(y)) return rank_of(x) < rank_of(y);
        return a < b;
    });
    int group = -1;
    std::vector<std::string> install;
    for (size_t i : order) {
        const Finding &finding = side.findings[i];
        if (group_of(finding) != group) *out += "  " + std::string(group_titles[group = group_of(finding)]) + ":\n";
        render_finding(finding, fixes[i], family, side.bits, out);
        for (const std::string &p : fixes[i].packages)
            if (std::find(install.begin(), install.end(), p) == install.end()) install.push_back(p);
    }
    if (side.findings.empty()) *out += "  No problems found.\n";
    if (install.empty()) return;
    *out += "  To install every package above: " + std::string(install_command(family));
    for (const std::string &p : install) *out += " " + p;
    *out += "\n";
}

std::string header(const RunModel &model) {
    const Distribution &d = model.distribution;
    std::string line = "tarvek " + model.version + " on ";
    if (!d.known) line += "an unknown distribution (" + d.problem + ")";
    else line += d.pretty_name.empty() ? d.id + " " + d.version_id : d.pretty_name;
    std::string checked, unchecked;
    for (const WordSizeModel &side : model.sides) {
        if (side.checked) checked += (checked.empty() ? "" : " and ") + word_size(side.bits);
        else unchecked += "; " + word_size(side.bits) + " programs were not checked: " + side.why_not_checked;
    }
    return line + ": checked " + (checked.empty() ? "nothing" : checked + " programs") + unchecked + ".\n";
}

std::string last_line(const RunModel &model) {
    std::string counts;
    for (const WordSizeModel &side : model.sides)
        if (side.checked && !side.findings.empty())
            counts += std::string(counts.empty() ? "" : ", ") + std::to_string(side.findings.size()) +
                      " for " + word_size(side.bits) + " programs";
    return counts.empty() ? "No problems found.\n" : "Problems found: " + counts + ".\n";
}

} // namespace

std::string finding_sentence(const Finding &finding, int bits) {
    std::string name = table_name(finding);
    const FindingWords *words = finding_words(name.c_str());
    if (finding.kind != FINDING_ISSUE && !finding.soname.empty()) {
        std::string what = "The " + word_size(bits) + " library " + finding.soname +
                           (finding.kind == FINDING_MISSING ? " is missing"
                                                            : " crashes or hangs when loaded");
        return words ? what + ": " + filled(words->text, bits) + "." : what + ".";
    }
    if (words) return filled(words->text, bits);
    if (const PluginPack *pack = plugin_pack(name)) return pack_sentence(*pack, bits);
    return "[" + finding.section + "] " + finding.title;
}

bool is_software_renderer(const std::string &renderer) {
    std::string lower = renderer;
    for (char &c : lower) c = (char)tolower((unsigned char)c);
    for (const char *name : {"llvmpipe", "softpipe", "swrast", "software rasterizer"})
        if (lower.find(name) != std::string::npos) return true;
    return false;
}

std::string render_explanation(const RunModel &model, DistroFamily family,
                               const FixLookup &fixes) {
    // What kept the tools from answering first: it explains the fixes below.
    std::string out = header(model);
    for (const std::string &note : fixes.notes) out += note + "\n";
    for (size_t s = 0; s < model.sides.size(); ++s)
        if (model.sides[s].checked) render_side(model.sides[s], fixes.sides[s], family, &out);
    return out + "\n" + last_line(model);
}
