// TEMPORARY while the handlers are being written: weak definitions that the
// real ones replace. Removed before the handlers' issue closes.
#include "ads.h"
#include "app/about_help.h"
#include "app/menu_loading.h"
#include "export/export_command.h"
#include "props/list_queries.h"
#include "props/vrml_properties.h"

__attribute__((weak)) void vrmlabout() {}
__attribute__((weak)) void vrmlhelp() {}
__attribute__((weak)) int vrml_init() { return RSRSLT; }
__attribute__((weak)) int vrml_geturl() { ads_retnil(); return RSRSLT; }
__attribute__((weak)) int vrml_getmaterial() { ads_retnil(); return RSRSLT; }
__attribute__((weak)) void vrmlprop() {}
__attribute__((weak)) void vrmlout() {}
__attribute__((weak)) int vrml_wrlout() { ads_retnil(); return RSRSLT; }
