// The module is judged by its file, never by loading it here: a plugin that
// crashes on load must not take the audio check with it.
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

bool pcm_plugin_module_path(const char *libasound_path, const char *type, char *module,
                            size_t size) {
    const char *slash = strrchr(libasound_path, '/');
    int length = slash ? snprintf(module, size, "%.*s/alsa-lib/libasound_module_pcm_%s.so",
                                  static_cast<int>(slash - libasound_path), libasound_path, type)
                       : -1;
    if (length > 0 && static_cast<size_t>(length) < size) return true;
    if (size) module[0] = '\0';
    return false;
}

// ALSA looks for its modules beside itself, as the loader found it.
static bool loaded_module_path(const char *type, char *module, size_t size) {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void *>(alsa.snd_config_update), &info) || !info.dli_fname)
        return false;
    return pcm_plugin_module_path(info.dli_fname, type, module, size);
}

bool default_pcm_type_routed(const char *type) {
    if (!default_pcm_routed(type, true)) return false;
    char module[PATH_MAX];
    bool present = !loaded_module_path(type, module, sizeof module) || access(module, R_OK) == 0;
    if (!present) debug_trace("pcm.default module missing: %s\n", module);
    return default_pcm_routed(type, present);
}

void report_not_routed() {
    report_issue("NonPulseAudioAlsa", "ALSA does not go through PulseAudio");
}
