// The audio check, run in its own child: the PulseAudio server (its own
// daemon's answer, else the socket of whoever provides it), its client
// library (a nested isolated load test), then libasound.so.2 and its default
// device. Findings are report sections; the check itself never fails.
#include "checks/audio/audio_check.h"

#include <sys/wait.h>

#include <csignal>

#include "checks/audio/alsa_binding.h"
#include "checks/audio/alsa_config.h"
#include "checks/audio/pulse_socket.h"
#include "isolate/run_isolated.h"
#include "libprobe/library.h"
#include "report/report.h"

// Only the exit status counts: a missing command or shell reads as no server.
// The command has a time limit of its own, so one that never answers reads
// as no server too, and the check goes on to what it can still tell.
static int pulseaudio_running() {
    int status = run_shell_command("pulseaudio --check 2>/dev/null");
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        debug_trace("pulseaudio --check timed out\n");
    return status == 0 ? 1 : 0;
}

int check_audio(const char *) {
    int pulse_running = pulseaudio_running();
    if (!pulse_running) pulse_running = pulse_server_socket_accepts();
    debug_trace("pulse_running=%d\n", pulse_running);
    if (pulse_running) check_library("LibPulse", "libpulse.so.0");
    // The front end tells the two cases apart by the identifier alone: the
    // soname and the title are the same either way.
    if (!open_or_report_missing_library(pulse_running ? "LibAsoundMidi" : "LibAsound",
                                        "libasound.so.2", alsa_slots))
        return 1;
    if (pulse_running) check_default_pcm_type();
    return 1;
}
