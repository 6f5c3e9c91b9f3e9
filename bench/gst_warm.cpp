// Brings the GStreamer registry of one word size up to date before the
// benchmark, so that no measured run pays for a plugin scan. Loads the
// library by soname like the program does; nothing is linked.
#include <dlfcn.h>
#include <gst/gst.h>

#include <cstdio>
#include <cstring>

template <typename Slot> static Slot lookup(void *handle, const char *name) {
    void *address = dlsym(handle, name);
    Slot slot;
    static_assert(sizeof slot == sizeof address);
    memcpy(&slot, &address, sizeof slot);
    return slot;
}

int main() {
    void *gst = dlopen("libgstreamer-1.0.so.0", RTLD_NOW);
    if (!gst) {
        fprintf(stderr, "gst-warm: %s\n", dlerror());
        return 1;
    }
    auto init_check = lookup<decltype(&gst_init_check)>(gst, "gst_init_check");
    if (!init_check) {
        fprintf(stderr, "gst-warm: no gst_init_check\n");
        return 1;
    }
    GError *error = nullptr;
    if (!init_check(nullptr, nullptr, &error)) {
        fprintf(stderr, "gst-warm: gst_init_check failed: %s\n", error ? error->message : "?");
        return 1;
    }
    return 0;
}
