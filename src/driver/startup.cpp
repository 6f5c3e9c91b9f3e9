// Standard streams as a launcher may leave them. A closed descriptor 1 would
// be handed to the next file or socket a check opens (a library file, the X
// connection), and report bytes would go into it; a reader that closed its
// end of the pipe would kill the run by SIGPIPE midway, leaving children
// behind. Writes that fail are not reported: findings that cannot be
// delivered have nobody to be delivered to.
#include "driver/startup.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

static void fill_closed_descriptor(int fd) {
    if (fcntl(fd, F_GETFD) != -1) return;
    int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    // open gives the lowest free descriptor, which is fd itself when the
    // lower ones are in place; anything else is moved into place.
    if (opened >= 0 && opened != fd) {
        dup2(opened, fd);
        close(opened);
    }
}

void harden_standard_streams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) fill_closed_descriptor(fd);
    signal(SIGPIPE, SIG_IGN);
}
