// The graphics steps as the driver sees them. Kept free of Xlib and GL
// headers, whose macros (None, True, Status...) must not leak into the driver.
#pragma once

int check_x11_display(const char *arg);
int check_opengl(const char *arg);
void report_opengl_not_working();
void find_dri_drivers();
