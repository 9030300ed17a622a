// The host's list-function and interaction interface (result buffers,
// selections, prompts, system variables, host commands, face files).
//
// Where the calls are implemented (under host/):
//   result buffers                           runtime/resbuf.cpp
//   list functions                           runtime/list_functions.cpp
//   ads_printf, ads_getvar, ads_setvar,
//     ads_findfile, adsw_acadMainWnd         runtime/host_services.cpp
//   ads_entsel, ads_ss*, ads_regapp          console/ads_selection.cpp
//   ads_getfiled, ads_command                console/ads_commands.cpp
//   ads_usrbrk                               console/interrupts.cpp
//   adsi_fileerror (output files)            cli/session.cpp
//   adsi_ent2face (face files)               faces/ent2face.cpp
//
// Ownership rule for this header: a result-buffer chain returned by a call
// whose comment says "caller releases" is released with ads_relrb. Texts
// inside such a chain (rstring) are owned by the chain: ads_relrb frees them
// with acad_free, so a text put into a chain by the caller must come from
// acad_malloc / acad__strdup. Chains the host lends (ads_getargs) belong to
// the host and are valid until the handler returns.
#pragma once

#include <cstddef>

#include "acrx.h"

extern "C" {

typedef double ads_real;
typedef ads_real ads_point[3];
typedef long ads_name[2];
typedef ads_real ads_matrix[4][4];
typedef ads_real* ads_pointp;
typedef long* ads_namep;

// Results of ADS calls.
enum {
  RTNONE = 5000,   // no result
  RTNORM = 5100,   // normal result
  RTERROR = -5001, // error
  RTCAN = -5002,   // the user cancelled (^C)
  RTREJ = -5003,   // request rejected
  RTFAIL = -5004,  // the link to the host failed
  RTKWORD = -5005, // a keyword was entered
};

// Result-buffer value types. Extended-data group codes (1000 to 1071) are
// also used as restype values inside extended-data chains.
enum {
  RTREAL = 5001,
  RTPOINT = 5002,
  RTSHORT = 5003,
  RTANG = 5004,
  RTSTR = 5005,
  RTENAME = 5006,
  RTPICKS = 5007,
  RTORINT = 5008,
  RT3DPOINT = 5009,
  RTLONG = 5010,
  RTVOID = 5014,
  RTLB = 5016,
  RTLE = 5017,
  RTDOTE = 5018,
  RTNIL = 5019,
  RTDXF0 = 5020,
  RTT = 5021,
};

// Results a list-function handler returns to the host.
enum {
  RSRSLT = 1, // a result has been set (possibly nil)
  RSERR = 3,  // error: the call's result is nil
};

struct ads_binary {
  short clen;
  char* buf;
};

union ads_u_val {
  ads_real rreal;
  ads_real rpoint[3];
  short rint;
  char* rstring;
  long rlname[2];
  long rlong;
  struct ads_binary rbinary;
};

struct resbuf {
  struct resbuf* rbnext;
  short restype;
  union ads_u_val resval;
};

// ---- result buffers -------------------------------------------------------

// A new zeroed buffer of the given type (rbnext null). Caller releases with
// ads_relrb. Null when memory runs out.
struct resbuf* ads_newrb(int type);
// Releases a whole chain and every text (RTSTR and string group codes) and
// binary chunk it holds, with acad_free. A null chain is accepted.
int ads_relrb(struct resbuf* rb);
// Builds a chain from (type, value) pairs ended by 0: RTSTR takes const char*
// (copied), RTREAL double, RTSHORT int, RTLONG long, RTENAME/RTPICKS long*
// (an ads_name), RTPOINT/RT3DPOINT double*, RTNIL/RTT/RTLB/RTLE/RTDOTE no
// value; group codes take the value of their kind (1000-1009 text, 1010-1059
// reals or points, 1060-1070 int, 1071 long). Caller releases with ads_relrb.
struct resbuf* ads_buildlist(int rtype, ...);

// ---- list functions (per drawing) ----------------------------------------

// Defines list function NAME with code FCODE for the current drawing.
// Returns RTNORM, or RTERROR when the name is invalid or the table refuses it.
int ads_defun(const char* name, short fcode);
// Removes the definition of NAME / FCODE. RTNORM, or RTERROR when unknown.
int ads_undef(const char* name, short fcode);
// Registers FHDL to be called directly (instead of message 5) for FCODE.
int ads_regfunc(int (*fhdl)(void), int fcode);
// The code of the function being called (valid during message 5 or a direct
// handler call); RTERROR outside a call.
int ads_getfuncode(void);
// The arguments of the call in progress; owned by the host, valid until the
// handler returns. Null when the call has no arguments.
struct resbuf* ads_getargs(void);
// Set the call's result. ads_retlist copies the chain: the caller keeps and
// releases its own chain. Each returns RTNORM.
int ads_retnil(void);
int ads_rett(void);
int ads_retlist(const struct resbuf* rbuf);
int ads_retstr(const char* s);
int ads_retint(int ival);
int ads_retreal(ads_real rval);
// Reports an error message for the call in progress; the host prints
// "; error: " and the text. The call's result becomes nil.
void ads_fail(const char* str);
// Queues an expression that the host evaluates when it is back at its
// command prompt. RTNORM.
int ads_queueexpr(const char* expr);
// The module's file name as the host loaded it (full path). Copies at most
// len bytes, the terminator included; RTNORM, or RTERROR outside a module.
int ads_getappname(char* name, int len);

// ---- interaction ----------------------------------------------------------

// printf-style text on the command line, byte for byte. Returns the number
// of bytes printed.
int ads_printf(const char* format, ...);
// Asks for one object with PROMPT (null: "Select object: "). RTNORM with the
// entity name and a pick point, RTERROR when nothing was picked, RTCAN when
// cancelled.
int ads_entsel(const char* prompt, ads_name result, ads_point ptres);
// Selection. With all arguments null: interactive (prompts "Select objects: "
// until an empty line). str "X" selects every selectable object (filter
// ignored). RTNORM with a new set in SS (release with ads_ssfree), RTCAN when
// cancelled, RTERROR when the selection is empty.
int ads_ssget(const char* str, const void* pt1, const void* pt2, const struct resbuf* filter,
              ads_name ss);
int ads_sslength(const ads_name ss, long* len);
// Entity at position I (0-based); RTERROR outside the set.
int ads_ssname(const ads_name ss, long i, ads_name entres);
// With ss null: a new set holding ENAME (release with ads_ssfree). Otherwise
// adds ENAME to SS and copies SS to RESULT.
int ads_ssadd(const ads_name ename, const ads_name ss, ads_name result);
int ads_ssfree(const ads_name sname);
// The file dialog. On RTNORM, RESULT (an RTSTR buffer the caller made with
// ads_newrb) holds the chosen path in a text the chain owns. Flags: 1 the
// file is to be created (asks before replacing), 2 typed entry disabled.
// RTCAN / RTERROR when cancelled or failed.
int ads_getfiled(const char* title, const char* defawlt, const char* ext, int flags,
                 struct resbuf* result);
// Runs host commands from (type, value) pairs ended by 0; RTSTR values are
// the command name and its answers. RTNORM, or RTERROR when a command is
// unknown or refuses an answer.
int ads_command(int rtype, ...);
// System variables. ads_getvar fills RESULT (a caller's buffer; an RTSTR
// value is a new text the caller releases with acad_free). RTNORM, or
// RTERROR for an unknown name or a value of the wrong type.
int ads_getvar(const char* sym, struct resbuf* result);
int ads_setvar(const char* sym, const struct resbuf* val);
// Looks NAME up on the host's search path; copies the full path into RESULT
// (at least 512 bytes). RTNORM, or RTERROR when not found.
int ads_findfile(const char* fname, char* result);
// Registers an extended-data application name with the drawing. RTNORM (also
// when already registered), RTERROR for an invalid name.
int ads_regapp(const char* appname);

// True (1) while the user has asked to stop the command in progress: Ctrl-C
// at the shell, or SIGINT, SIGTERM or SIGHUP when corvane runs without one;
// also once the host found it can't serve the command (the drawing's file
// changed under an export: nothing must replace the world file). The
// request lasts until the command ends. 0 otherwise.
int ads_usrbrk(void);

// ---- output files ---------------------------------------------------------

// Tells the host that writing the file PATH failed, ERRNUM being the errno of
// the call that failed (ENOENT a missing folder, EACCES, ENOSPC, EIO,
// EWOULDBLOCK a file another holder has locked, ...). The host names the
// reason to the user in one line on its error stream and fails the batch
// export with it. PATH is only read during the call. Returns RTNORM.
int adsi_fileerror(const char* path, int errnum);

// ---- face files -----------------------------------------------------------

// Writes the faces of the entities of SS into a new temporary face file (of
// the layout face_file.h states) and returns its name in FILENAME. FLAGS 1:
// world coordinates. RTNORM or
// RTERROR. When the host can't give the faces because the drawing's file
// changed under it (or could not be read), it says why, fails the command
// (ads_usrbrk answers 1 from then on) and answers RTNORM with a file that
// holds the entities without faces. The caller reads the file and deletes it. The name is host-owned
// and readable until the host ends; the file is the caller's until it
// deletes it, or at the latest until the command or list function that
// asked for it returns, when the host deletes what is left. (The host may
// have written the file before the request, ahead of the caller's walk
// through a selection set; it is the file the request would have made.)
int adsi_ent2face(const ads_name ss, const char** filename, int flags);

// ---- Windows glue ---------------------------------------------------------

// The host's main window handle, the parent of module dialogs.
void* adsw_acadMainWnd(void);

} // extern "C"
