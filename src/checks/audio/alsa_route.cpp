// The module is judged by its file, never by loading it here: a plugin that
// crashes on load must not take the audio check with it.
#include "checks/audio/alsa_route.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstring>

#include "checks/audio/alsa_binding.h"
#include "report/report.h"

bool default_pcm_routed(const char *type, bool module_present) {
    return module_present && (strcmp(type, "pulse") == 0 || strcmp(type, "pipewire") == 0);
}

std::string pcm_plugin_module_path(const char *libasound_path, const char *type) {
    const char *slash = strrchr(libasound_path, '/');
    if (!slash) return "";
    return std::string(libasound_path, slash) + "/alsa-lib/libasound_module_pcm_" + type + ".so";
}

// ALSA looks for its modules beside itself, as the loader found it.
static std::string loaded_module_path(const char *type) {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void *>(alsa.snd_config_update), &info) || !info.dli_fname)
        return "";
    return pcm_plugin_module_path(info.dli_fname, type);
}

bool default_pcm_type_routed(const char *type) {
    if (!default_pcm_routed(type, true)) return false;
    std::string module = loaded_module_path(type);
    bool present = module.empty() || access(module.c_str(), R_OK) == 0;
    if (!present) debug_trace("pcm.default module missing: %s\n", module.c_str());
    return default_pcm_routed(type, present);
}

void report_not_routed() { report_issue("NonPulseAudioAlsa", "ALSA does not go through PulseAudio"); }
