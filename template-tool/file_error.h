// File errors worded as GLib's whole-file reading and writing words them.
#pragma once

#include <glib.h>

// Sets a G_FILE_ERROR from saved_errno whose message is format filled with
// the file's display name and the system's reason, in that order.
void set_file_error(GError** error, const char* filename, const char* format, int saved_errno);
