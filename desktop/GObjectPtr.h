#pragma once

#include "GLibPtr.h"

#include <gio/gio.h>

#include <memory>

// Owners of GObjects and of GDBus's introspection data.
struct CGObjectUnref
{
    void operator()(gpointer pObject) const { g_object_unref(pObject); }
};
template <typename T> using GObjectPtr = std::unique_ptr<T, CGObjectUnref>;

struct CGDBusNodeInfoUnref
{
    void operator()(GDBusNodeInfo* pInfo) const { g_dbus_node_info_unref(pInfo); }
};
using GDBusNodeInfoPtr = std::unique_ptr<GDBusNodeInfo, CGDBusNodeInfoUnref>;
