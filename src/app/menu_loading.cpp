#include "app/menu_loading.h"

#include "ads.h"

int vrml_init() {
  // Only the menu file's presence matters: the host loads the menu by its
  // name and finds the file itself.
  char menuPath[600];
  if (ads_findfile("vrml.mnu", menuPath) != RTNORM) return RSRSLT;

  resbuf savedEcho{};
  bool haveSavedEcho = ads_getvar("CMDECHO", &savedEcho) == RTNORM;
  resbuf echoOff{};
  echoOff.restype = RTSHORT;
  echoOff.resval.rint = 0;
  ads_setvar("CMDECHO", &echoOff);

  // Unloading first makes loading again leave the group there once.
  ads_command(RTSTR, "_.menuunload", RTSTR, "vrml", 0);
  ads_command(RTSTR, "_.menuload", RTSTR, "vrml", 0);
  ads_command(RTSTR, "_.toolbar", RTSTR, "vrml.TB_WRL", RTSTR, "_float", RTSTR, "100,100", RTSTR, "1", 0);

  // Put back only a value that was really read.
  if (haveSavedEcho) {
    ads_setvar("CMDECHO", &savedEcho);
    if (savedEcho.restype == RTSTR) acad_free(savedEcho.resval.rstring);
  }
  return RSRSLT;
}
