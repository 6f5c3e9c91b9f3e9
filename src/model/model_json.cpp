// The document's shape, which readers rely on:
// {"schema", "version", "distribution": {"known", "problem" | "id", "id_like",
//  "version_id", "pretty_name"}, "word_sizes": [{"bits", "checked",
//  "why_not_checked", "findings": [{"kind", "section", "id", "soname"?,
//  "title"}], "properties": {key: value}}]}
#include "model/model_json.h"

#include <cstdio>

namespace {

// The length of the well-formed UTF-8 sequence at text[at], or 0.
size_t utf8_length(const std::string &text, size_t at) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                  : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    // Overlong forms, surrogates and what lies past U+10FFFF.
    unsigned char second = length > 1 ? byte(at + 1) : 0x80;
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

void put_string(std::string *out, const std::string &text) {
    *out += '"';
    for (size_t at = 0; at < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[at]);
        size_t length = utf8_length(text, at);
        if (length == 0) {
            *out += "\xef\xbf\xbd"; // U+FFFD
            ++at;
            continue;
        }
        if (c == '"' || c == '\\') {
            *out += '\\';
            *out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04x", c);
            *out += escape;
        } else {
            out->append(text, at, length);
        }
        at += length;
    }
    *out += '"';
}

// null_when_empty: a field of os-release that is absent.
void put_member(std::string *out, const char *indent, const char *key, const std::string &value,
                bool last = false, bool null_when_empty = false) {
    *out += indent;
    put_string(out, key);
    *out += ": ";
    if (null_when_empty && value.empty())
        *out += "null";
    else
        put_string(out, value);
    *out += last ? "\n" : ",\n";
}

const char *kind_name(FindingKind kind) {
    return kind == FINDING_MISSING ? "missing" : kind == FINDING_BROKEN ? "broken" : "issue";
}

void put_distribution(std::string *out, const Distribution &distribution) {
    *out += "  \"distribution\": {\n";
    *out += distribution.known ? "    \"known\": true,\n" : "    \"known\": false,\n";
    if (!distribution.known) {
        put_member(out, "    ", "problem", distribution.problem, true);
    } else {
        put_member(out, "    ", "id", distribution.id);
        put_member(out, "    ", "id_like", distribution.id_like, false, true);
        put_member(out, "    ", "version_id", distribution.version_id, false, true);
        put_member(out, "    ", "pretty_name", distribution.pretty_name, true, true);
    }
    *out += "  },\n";
}

void put_finding(std::string *out, const Finding &finding, bool last) {
    *out += "        {\n";
    put_member(out, "          ", "kind", kind_name(finding.kind));
    put_member(out, "          ", "section", finding.section);
    put_member(out, "          ", "id", finding.id);
    if (finding.kind != FINDING_ISSUE) put_member(out, "          ", "soname", finding.soname);
    put_member(out, "          ", "title", finding.title, true);
    *out += last ? "        }\n" : "        },\n";
}

void put_side(std::string *out, const WordSizeModel &side, bool last) {
    *out += "    {\n      \"bits\": " + std::to_string(side.bits) + ",\n";
    *out += side.checked ? "      \"checked\": true,\n" : "      \"checked\": false,\n";
    if (!side.checked) put_member(out, "      ", "why_not_checked", side.why_not_checked);
    *out += side.findings.empty() ? "      \"findings\": [" : "      \"findings\": [\n";
    for (size_t i = 0; i < side.findings.size(); ++i)
        put_finding(out, side.findings[i], i + 1 == side.findings.size());
    *out += side.findings.empty() ? "],\n" : "      ],\n";
    *out += side.properties.empty() ? "      \"properties\": {" : "      \"properties\": {\n";
    for (size_t i = 0; i < side.properties.size(); ++i)
        put_member(out, "        ", side.properties[i].key.c_str(), side.properties[i].value,
                   i + 1 == side.properties.size());
    *out += side.properties.empty() ? "}\n" : "      }\n";
    *out += last ? "    }\n" : "    },\n";
}

} // namespace

std::string model_json(const RunModel &model) {
    std::string out = "{\n  \"schema\": " + std::to_string(model_schema) + ",\n";
    put_member(&out, "  ", "version", model.version);
    put_distribution(&out, model.distribution);
    out += "  \"word_sizes\": [\n";
    for (size_t i = 0; i < model.sides.size(); ++i)
        put_side(&out, model.sides[i], i + 1 == model.sides.size());
    out += "  ]\n}\n";
    return out;
}
