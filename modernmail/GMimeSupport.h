// The MIME library for this process: its one-time initialisation, and owning handles of its reference-counted
// objects and of the strings it allocates. Any thread.
#pragma once

#include <gmime/gmime.h>

#include <memory>

namespace modernmail {

// Initialises the library once per process; every user of the library calls it first.
void InitializeGMime();

struct GObjectUnref {
    void operator()(gpointer object) const
    {
        if (object != nullptr) {
            g_object_unref(object);
        }
    }
};
struct GFree {
    void operator()(gpointer memory) const { g_free(memory); }
};

// One reference of a library object, released at the end of its owner's life.
template <typename Object>
using GObjectRef = std::unique_ptr<Object, GObjectUnref>;
// A string the library allocated for its caller.
using GOwnedString = std::unique_ptr<char, GFree>;

}  // namespace modernmail
