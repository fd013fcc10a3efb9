// Whether a path may be replaced by a new regular file.
#pragma once

#include <glib.h>

// False, with a file error naming why, when path is a character or block
// device, a FIFO or a socket: such a node is never replaced. Anything else
// passes, including a path that cannot be examined (the write itself will
// then report why it fails) and a symbolic link, which is replaced rather
// than followed.
bool check_replaceable(const char* path, GError** error);
