// Modules are judged by their files, never by loading them here: a plugin
// that crashes on load must not take the audio check with it.
#include "checks/audio/alsa_route.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "checks/audio/alsa_binding.h"
#include "report/report.h"

bool default_pcm_routed(const char *type, bool module_present) {
    return module_present && (strcmp(type, "pulse") == 0 || strcmp(type, "pipewire") == 0);
}

// A module named as the configuration names it: an absolute name as it
// stands, any other in the alsa-lib folder beside libasound_path.
static bool module_file(const char *libasound_path, const char *name, char *module, size_t size) {
    const char *slash = strrchr(libasound_path, '/');
    int length = name[0] == '/' ? snprintf(module, size, "%s", name)
                 : slash        ? snprintf(module, size, "%.*s/alsa-lib/%s",
                                           static_cast<int>(slash - libasound_path), libasound_path, name)
                                : -1;
    if (length > 0 && static_cast<size_t>(length) < size) return true;
    if (size) module[0] = '\0';
    return false;
}

bool pcm_plugin_module_path(const char *libasound_path, const char *type, char *module,
                            size_t size) {
    char name[NAME_MAX + 1];
    int length = snprintf(name, sizeof name, "libasound_module_pcm_%s.so", type);
    if (length > 0 && static_cast<size_t>(length) < sizeof name)
        return module_file(libasound_path, name, module, size);
    if (size) module[0] = '\0';
    return false;
}

// ALSA looks for its modules beside itself, as the loader found it. Empty
// where that cannot be told.
static const char *loaded_libasound_path() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void *>(alsa.snd_config_update), &info) || !info.dli_fname)
        return "";
    return info.dli_fname;
}

bool default_pcm_type_routed(const char *type) {
    if (!default_pcm_routed(type, true)) return false;
    char module[PATH_MAX];
    bool present = !pcm_plugin_module_path(loaded_libasound_path(), type, module, sizeof module) ||
                   access(module, R_OK) == 0;
    if (!present) debug_trace("pcm.default module missing: %s\n", module);
    return default_pcm_routed(type, present);
}

bool hook_module_missing(snd_config_t *config) {
    snd_config_t *hooks = nullptr;
    if (alsa.snd_config_search(config, "hook_func", &hooks) < 0 ||
        alsa.snd_config_get_type(hooks) != SND_CONFIG_TYPE_COMPOUND)
        return false;
    bool missing = false;
    for (snd_config_iterator_t it = alsa.snd_config_iterator_first(hooks);
         it != alsa.snd_config_iterator_end(hooks); it = alsa.snd_config_iterator_next(it)) {
        snd_config_t *lib = nullptr;
        const char *name = nullptr;
        char module[PATH_MAX];
        if (alsa.snd_config_search(alsa.snd_config_iterator_entry(it), "lib", &lib) < 0 ||
            alsa.snd_config_get_string(lib, &name) < 0 || !name ||
            !module_file(loaded_libasound_path(), name, module, sizeof module) ||
            access(module, R_OK) == 0)
            continue;
        debug_trace("hook module missing: %s\n", module);
        missing = true;
    }
    return missing;
}

void report_not_routed() {
    report_issue("NonPulseAudioAlsa", "ALSA does not go through PulseAudio");
}
