// The configuration check works on a copy of the global tree, so nothing the
// library keeps is changed (hooks that run while the default device is
// resolved change the copy), and every failing call is named in the trace.
#include "checks/audio/alsa_config.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "checks/audio/alsa_binding.h"
#include "checks/audio/alsa_route.h"
#include "report/report.h"

static void trace_node_line(const char *label, const char *id, int type) {
    switch (type) {
    case SND_CONFIG_TYPE_INTEGER:
        debug_trace("%s: %s is an integer\n", label, id);
        break;
    case SND_CONFIG_TYPE_INTEGER64:
        debug_trace("%s: %s is a 64-bit integer\n", label, id);
        break;
    case SND_CONFIG_TYPE_REAL:
        debug_trace("%s: %s is a real\n", label, id);
        break;
    case SND_CONFIG_TYPE_STRING:
        debug_trace("%s: %s is a string\n", label, id);
        break;
    case SND_CONFIG_TYPE_POINTER:
        debug_trace("%s: %s is a pointer\n", label, id);
        break;
    case SND_CONFIG_TYPE_COMPOUND:
        debug_trace("%s: %s contains\n", label, id);
        break;
    default:
        debug_trace("%s: unknown node type type %d\n", label, type);
        break;
    }
}

// A node without a name would hand %s a null; ALSA gives every node one, but
// the trace must not depend on it.
static const char *node_id(snd_config_t *node) {
    const char *id = nullptr;
    alsa.snd_config_get_id(node, &id);
    return id ? id : "";
}

void dump_config_node(const char *label, snd_config_t *node) {
    const char *id = node_id(node);
    int type = alsa.snd_config_get_type(node);
    trace_node_line(label, id, type);
    if (type != SND_CONFIG_TYPE_COMPOUND) return;
    for (snd_config_iterator_t it = alsa.snd_config_iterator_first(node);
         it != alsa.snd_config_iterator_end(node); it = alsa.snd_config_iterator_next(it)) {
        debug_trace("  %s\n", node_id(alsa.snd_config_iterator_entry(it)));
    }
}

// ALSA writes its own error lines to stderr (a default device that names a
// missing card gives several). Without --debug stderr must stay quiet; with it
// they join the trace as whole lines.
static void trace_alsa_error(const char *file, int line, const char *function, int err,
                             const char *format, ...) TARVEK_PRINTF(5, 6);

static void trace_alsa_error(const char *file, int line, const char *function, int err,
                             const char *format, ...) {
    if (!is_debug_enabled()) return;
    char message[512] = "";
    if (format) {
        va_list args;
        va_start(args, format);
        vsnprintf(message, sizeof message, format, args);
        va_end(args);
    }
    if (!file) file = "";
    if (!function) function = "";
    if (err)
        debug_trace("ALSA lib %s:%d:(%s) %s (%d)\n", file, line, function, message, err);
    else
        debug_trace("ALSA lib %s:%d:(%s) %s\n", file, line, function, message);
}

// The calls in their order; the first negative result ends them. Gives the
// last result, with the label of the call that gave it. The default device is
// resolved as an application opening "default" would have it: aliases
// followed and the hooks met on the way run (Debian's PulseAudio routing is
// one), which a plain search of the tree never does. *dev_node is the
// caller's to delete.
static int read_default_pcm_type(snd_config_t **copy, snd_config_t **dev_node,
                                 const char **label) {
    *label = "snd_config_update()";
    int result = alsa.snd_config_update();
    if (result < 0) return result;
    *label = "snd_config_copy()";
    result = alsa.snd_config_copy(copy, *alsa.snd_config);
    if (result < 0) return result;
    *label = "snd_config_search_definition(pcm.default)";
    result = alsa.snd_config_search_definition(*copy, "pcm", "default", dev_node);
    if (result < 0) {
        if (hook_module_missing(*copy)) report_not_routed();
        return result;
    }
    snd_config_t *type_node = nullptr;
    *label = "snd_config_search(type)";
    result = alsa.snd_config_search(*dev_node, "type", &type_node);
    if (result < 0) {
        dump_config_node("dev_node", *dev_node);
        return result;
    }
    const char *type = nullptr;
    *label = "snd_config_get_string()";
    result = alsa.snd_config_get_string(type_node, &type);
    if (result < 0) {
        dump_config_node("type_node", type_node);
        return result;
    }
    if (!type) type = ""; // never hand a null to %s or strcmp
    debug_trace("pcm.default type: %s\n", type);
    if (!default_pcm_type_routed(type)) report_not_routed();
    return result;
}

// A positive result of an earlier call is overwritten by the next one; only
// the last call's nonzero result reaches the trace. The resolved device is a
// tree of its own, apart from the copy the hooks changed: both are freed.
void check_default_pcm_type() {
    if (alsa_set_error_handler) alsa_set_error_handler(trace_alsa_error);
    snd_config_t *copy = nullptr;
    snd_config_t *dev_node = nullptr;
    const char *label = "";
    int result = read_default_pcm_type(&copy, &dev_node, &label);
    if (result != 0) debug_trace("%s failed (%d)\n", label, result);
    if (dev_node) alsa.snd_config_delete(dev_node);
    if (copy) alsa.snd_config_delete(copy);
}
