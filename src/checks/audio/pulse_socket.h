// A PulseAudio server counts as running when the socket the client library
// would use for this user takes a connection, whoever provides the server:
// `pulseaudio --check` knows only its own daemon. Nothing is loaded and no
// server is started; where the socket is activated on demand, the accepted
// connection is the server's own promise to run.
#pragma once

#include <cstddef>

// The local socket the client library would reach: with PULSE_SERVER set,
// the first of its blank-separated entries that names one ("unix:PATH" or an
// absolute PATH, after an optional "{machine}" prefix); without it,
// XDG_RUNTIME_DIR/pulse/native. Written to path; false, and path empty, when
// there is none (PULSE_SERVER names only servers on the network, the runtime
// folder is unset or relative) or it does not fit in size bytes.
bool pulse_socket_path(const char *pulse_server, const char *runtime_dir, char *path, size_t size);

// 1 when a stream socket at that path accepts a connection within a second.
int pulse_socket_accepts(const char *path);

// The two together, from the environment.
int pulse_server_socket_accepts();
