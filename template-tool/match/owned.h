// Arrays from GLib's allocator, released by scope.
#pragma once

#include <glib.h>

#include <memory>

struct GFreeDeleter {
  void operator()(void* p) const { g_free(p); }
};

// An array from g_new, g_malloc or g_try_malloc_n, freed with its owner.
template <typename T>
using Owned = std::unique_ptr<T[], GFreeDeleter>;
