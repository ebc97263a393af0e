#pragma once
// Owning wrappers around GLib and GMime objects. GMime getters such as
// g_mime_message_get_from hand out borrowed pointers: only what a *_new or a parse
// returns is adopted here.

#include <glib-object.h>
#include <glib.h>
#include <gmime/gmime.h>

#include <memory>

namespace mime {

struct GObjectUnref {
    void operator()(void* object) const {
        if (object) g_object_unref(object);
    }
};
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFree {
    void operator()(void* memory) const { g_free(memory); }
};
using GCharPtr = std::unique_ptr<char, GFree>;

struct GDateTimeUnref {
    void operator()(GDateTime* date) const {
        if (date) g_date_time_unref(date);
    }
};
using GDateTimePtr = std::unique_ptr<GDateTime, GDateTimeUnref>;

struct GMimeFormatOptionsFree {
    void operator()(GMimeFormatOptions* options) const {
        if (options) g_mime_format_options_free(options);
    }
};
using GMimeFormatOptionsPtr = std::unique_ptr<GMimeFormatOptions, GMimeFormatOptionsFree>;

// A converter from GMime's cache (g_mime_iconv_open): opening one is a table lookup
// instead of a gconv module load, and closing returns it to the cache.
struct GMimeIconvClose {
    void operator()(void* converter) const {
        if (converter != reinterpret_cast<void*>(-1))
            g_mime_iconv_close(static_cast<iconv_t>(converter));
    }
};
using GMimeIconvPtr = std::unique_ptr<void, GMimeIconvClose>;

}  // namespace mime
