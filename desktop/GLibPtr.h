#pragma once

#include <gio/gio.h>

#include <memory>

// Owners of GLib's reference-counted and allocated things, so every path out of
// a function releases them.
struct CGObjectUnref
{
    void operator()(gpointer pObject) const { g_object_unref(pObject); }
};
template <typename T> using GObjectPtr = std::unique_ptr<T, CGObjectUnref>;

struct CGVariantUnref
{
    void operator()(GVariant* pVariant) const { g_variant_unref(pVariant); }
};
using GVariantPtr = std::unique_ptr<GVariant, CGVariantUnref>;

struct CGErrorFree
{
    void operator()(GError* pError) const { g_error_free(pError); }
};
using GErrorPtr = std::unique_ptr<GError, CGErrorFree>;

struct CGFree
{
    void operator()(gpointer p) const { g_free(p); }
};
using GCharPtr = std::unique_ptr<gchar, CGFree>;

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

struct CGDBusNodeInfoUnref
{
    void operator()(GDBusNodeInfo* pInfo) const { g_dbus_node_info_unref(pInfo); }
};
using GDBusNodeInfoPtr = std::unique_ptr<GDBusNodeInfo, CGDBusNodeInfoUnref>;

// The text of an error, or a placeholder when there is none.
inline const char* ErrorText(const GErrorPtr& pError)
{
    return pError && pError->message ? pError->message : "unknown error";
}
