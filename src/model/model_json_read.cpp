// A reader of JSON as the model's writer makes it, strict enough that
// anything else (a crash's half document, another program's text) is
// refused with the reason, not half believed.
#include <cstdlib>
#include <cstring>

#include "model/model_json.h"

namespace {

enum JsonType { JSON_NULL, JSON_BOOL, JSON_NUMBER, JSON_STRING, JSON_ARRAY, JSON_OBJECT };

struct JsonValue {
    JsonType type = JSON_NULL;
    std::string text;              // a string's bytes, a number's or a literal's text
    std::vector<std::string> keys; // an object's, one per item
    std::vector<JsonValue> items;
};

constexpr int deepest = 8;

struct Reader {
    const std::string &text;
    size_t at;
    std::string error;

    bool fail(const char *what) {
        if (error.empty()) error = std::string(what) + " at byte " + std::to_string(at);
        return false;
    }
    void skip_space() {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\n' || text[at] == '\t' ||
                                    text[at] == '\r'))
            ++at;
    }
    bool take(char c) {
        skip_space();
        if (at >= text.size() || text[at] != c) return false;
        ++at;
        return true;
    }
};

void put_utf8(std::string *out, unsigned code) {
    if (code < 0x80) {
        *out += static_cast<char>(code);
    } else if (code < 0x800) {
        *out += static_cast<char>(0xC0 | code >> 6);
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *out += static_cast<char>(0xE0 | code >> 12);
        *out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Surrogates are refused: the writer never makes them.
bool read_string(Reader *r, std::string *out) {
    if (!r->take('"')) return r->fail("expected a string");
    for (;;) {
        if (r->at >= r->text.size()) return r->fail("unterminated string");
        unsigned char c = static_cast<unsigned char>(r->text[r->at++]);
        if (c == '"') return true;
        if (c < 0x20) return r->fail("control character in a string");
        if (c != '\\') {
            *out += static_cast<char>(c);
            continue;
        }
        if (r->at >= r->text.size()) return r->fail("unterminated string");
        char e = r->text[r->at++];
        const char *plain = "\"\\/bfnrt", *meant = "\"\\/\b\f\n\r\t";
        const char *found = e ? strchr(plain, e) : nullptr;
        if (found) {
            *out += meant[found - plain];
        } else if (e == 'u' && r->at + 4 <= r->text.size()) {
            std::string hex = r->text.substr(r->at, 4);
            char *end = nullptr;
            unsigned code = static_cast<unsigned>(strtoul(hex.c_str(), &end, 16));
            if (end != hex.c_str() + 4 || hex.find_first_of("+- ") != std::string::npos ||
                (code >= 0xD800 && code <= 0xDFFF))
                return r->fail("bad \\u escape");
            put_utf8(out, code);
            r->at += 4;
        } else {
            return r->fail("bad escape");
        }
    }
}

bool read_value(Reader *r, JsonValue *value, int depth);

bool read_container(Reader *r, JsonValue *value, int depth, char close) {
    if (depth > deepest) return r->fail("nested too deeply");
    if (r->take(close)) return true;
    do {
        if (close == '}') {
            value->keys.emplace_back();
            if (!read_string(r, &value->keys.back()) || !r->take(':')) return r->fail("expected ':'");
        }
        value->items.emplace_back();
        if (!read_value(r, &value->items.back(), depth + 1)) return false;
    } while (r->take(','));
    return r->take(close) || r->fail(close == '}' ? "expected '}'" : "expected ']'");
}

bool read_value(Reader *r, JsonValue *value, int depth) {
    r->skip_space();
    if (r->at >= r->text.size()) return r->fail("unexpected end");
    char c = r->text[r->at];
    if (c == '"') {
        value->type = JSON_STRING;
        return read_string(r, &value->text);
    }
    if (c == '{' || c == '[') {
        ++r->at;
        value->type = c == '{' ? JSON_OBJECT : JSON_ARRAY;
        return read_container(r, value, depth, c == '{' ? '}' : ']');
    }
    for (const char *literal : {"true", "false", "null"}) {
        if (r->text.compare(r->at, strlen(literal), literal) != 0) continue;
        value->type = literal[0] == 'n' ? JSON_NULL : JSON_BOOL;
        value->text = literal;
        r->at += strlen(literal);
        return true;
    }
    size_t end = r->text.find_first_not_of("-0123456789", r->at);
    if (end == std::string::npos) end = r->text.size();
    if (end == r->at) return r->fail("unexpected character");
    value->type = JSON_NUMBER;
    value->text = r->text.substr(r->at, end - r->at);
    r->at = end;
    return true;
}

const JsonValue *member(const JsonValue &object, const char *key, JsonType type) {
    if (object.type != JSON_OBJECT) return nullptr;
    for (size_t i = 0; i < object.keys.size(); ++i)
        if (object.keys[i] == key) return object.items[i].type == type ? &object.items[i] : nullptr;
    return nullptr;
}

bool finding_from_json(const JsonValue &item, Finding *finding) {
    const JsonValue *kind = member(item, "kind", JSON_STRING);
    const JsonValue *section = member(item, "section", JSON_STRING);
    const JsonValue *id = member(item, "id", JSON_STRING);
    const JsonValue *title = member(item, "title", JSON_STRING);
    const JsonValue *soname = member(item, "soname", JSON_STRING);
    if (!kind || !section || !id || !title) return false;
    if (kind->text == "missing") finding->kind = FINDING_MISSING;
    else if (kind->text == "broken") finding->kind = FINDING_BROKEN;
    else if (kind->text == "issue") finding->kind = FINDING_ISSUE;
    else return false;
    if ((finding->kind == FINDING_ISSUE) != !soname) return false;
    *finding = {finding->kind, section->text, id->text, soname ? soname->text : "", title->text};
    return true;
}

bool side_from_value(const JsonValue &value, WordSizeModel *side, std::string *why) {
    const JsonValue *checked = member(value, "checked", JSON_BOOL);
    const JsonValue *findings = member(value, "findings", JSON_ARRAY);
    const JsonValue *properties = member(value, "properties", JSON_OBJECT);
    const JsonValue *why_not = member(value, "why_not_checked", JSON_STRING);
    *why = "its side is not of the model's shape";
    if (!checked || !findings || !properties || (checked->text == "false") != !!why_not)
        return false;
    side->checked = checked->text == "true";
    if (why_not) side->why_not_checked = why_not->text;
    for (const JsonValue &item : findings->items) {
        side->findings.emplace_back();
        if (!finding_from_json(item, &side->findings.back())) return false;
    }
    for (size_t i = 0; i < properties->keys.size(); ++i) {
        if (properties->items[i].type != JSON_STRING) return false;
        side->properties.push_back({properties->keys[i], properties->items[i].text});
    }
    return true;
}

} // namespace

bool side_from_json(const std::string &text, const std::string &version, int bits,
                    WordSizeModel *side, std::string *why) {
    JsonValue root;
    Reader reader{text, 0, ""};
    if (!read_value(&reader, &root, 0) || (reader.skip_space(), reader.at != text.size())) {
        *why = "not JSON: " + (reader.error.empty() ? "text after the document at byte " +
                                                          std::to_string(reader.at)
                                                    : reader.error);
        return false;
    }
    const JsonValue *schema = member(root, "schema", JSON_NUMBER);
    const JsonValue *its_version = member(root, "version", JSON_STRING);
    const JsonValue *sides = member(root, "word_sizes", JSON_ARRAY);
    if (!schema || !its_version || !sides) {
        *why = "not a document of this program";
        return false;
    }
    if (schema->text != std::to_string(model_schema) || its_version->text != version) {
        *why = "another version (" + its_version->text + ", schema " + schema->text + ")";
        return false;
    }
    *side = WordSizeModel{};
    side->bits = bits;
    for (const JsonValue &item : sides->items) {
        const JsonValue *its_bits = member(item, "bits", JSON_NUMBER);
        if (its_bits && its_bits->text == std::to_string(bits)) return side_from_value(item, side, why);
    }
    *why = "no " + std::to_string(bits) + "-bit side in its document";
    return false;
}
