#pragma once

#include <glib.h>

#include <memory>

// Owners of what GLib allocates, so every path out of a function releases it.
struct CGFree
{
    void operator()(gpointer p) const { g_free(p); }
};
using GCharPtr = std::unique_ptr<gchar, CGFree>;

struct CGErrorFree
{
    void operator()(GError* pError) const { g_error_free(pError); }
};
using GErrorPtr = std::unique_ptr<GError, CGErrorFree>;

struct CGKeyFileFree
{
    void operator()(GKeyFile* pFile) const { g_key_file_free(pFile); }
};
using GKeyFilePtr = std::unique_ptr<GKeyFile, CGKeyFileFree>;

struct CGVariantUnref
{
    void operator()(GVariant* pVariant) const { g_variant_unref(pVariant); }
};
using GVariantPtr = std::unique_ptr<GVariant, CGVariantUnref>;

struct CGMainContextUnref
{
    void operator()(GMainContext* pContext) const { g_main_context_unref(pContext); }
};
using GMainContextPtr = std::unique_ptr<GMainContext, CGMainContextUnref>;

struct CGMainLoopUnref
{
    void operator()(GMainLoop* pLoop) const { g_main_loop_unref(pLoop); }
};
using GMainLoopPtr = std::unique_ptr<GMainLoop, CGMainLoopUnref>;

// The text of an error, or a placeholder when there is none.
inline const char* ErrorText(const GErrorPtr& pError)
{
    return pError && pError->message ? pError->message : "unknown error";
}
