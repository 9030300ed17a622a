/* Faults for the tests, put into a corvane process with LD_PRELOAD. Every
   fault is off unless its variable is set:

   CORVANE_FAULT_DIR=PATH     the files whose faults are injected: those
                              under PATH (an unnamed file counts as its
                              folder's)
   CORVANE_FAULT_WRITE=ERR    writes to them fail with ENOSPC or EIO ...
   CORVANE_FAULT_AFTER=N      ... once N bytes have been written (0)
   CORVANE_FAULT_CLOSE=ERR    closing them reports ENOSPC or EIO
   CORVANE_FAULT_NO_TMPFILE=1 no unnamed files anywhere (EOPNOTSUPP)
   CORVANE_FAULT_SLOW_MS=N    every face file takes N ms longer to make,
                              and what was printed so far is flushed, so
                              that a test sees the progress as it comes
   CORVANE_FAULT_FACES=N      face files after the first N can't be made
   CORVANE_FAULT_LOG=FILE     the directories the process makes with
                              mkdtemp are appended to FILE, one a line
   CORVANE_FAULT_ABORT=TEXT   the process aborts (SIGABRT) when it opens a
                              file whose path holds TEXT: a drawing that
                              crashes the process reading it */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static long long written;

static int errorNamed(const char* name) {
  if (name == NULL) return 0;
  if (strcmp(name, "ENOSPC") == 0) return ENOSPC;
  if (strcmp(name, "EIO") == 0) return EIO;
  return 0;
}

static int faulted(int fd) {
  const char* dir = getenv("CORVANE_FAULT_DIR");
  if (dir == NULL || fd < 0) return 0;
  char link[64], path[4096];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t n = readlink(link, path, sizeof path - 1);
  if (n <= 0) return 0;
  path[n] = '\0';
  size_t length = strlen(dir);
  return strncmp(path, dir, length) == 0 && path[length] == '/';
}

ssize_t write(int fd, const void* buffer, size_t count) {
  static ssize_t (*real)(int, const void*, size_t);
  if (real == NULL) real = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
  int err = errorNamed(getenv("CORVANE_FAULT_WRITE"));
  if (err != 0 && faulted(fd)) {
    const char* after = getenv("CORVANE_FAULT_AFTER");
    long long allowed = after ? atoll(after) : 0;
    if (written >= allowed) {
      errno = err;
      return -1;
    }
    if ((long long)count > allowed - written) count = (size_t)(allowed - written);
    ssize_t n = real(fd, buffer, count);
    if (n > 0) written += n;
    return n;
  }
  return real(fd, buffer, count);
}

int close(int fd) {
  static int (*real)(int);
  if (real == NULL) real = (int (*)(int))dlsym(RTLD_NEXT, "close");
  int err = errorNamed(getenv("CORVANE_FAULT_CLOSE"));
  int fail = err != 0 && faulted(fd);
  int result = real(fd);
  if (fail && result == 0) {
    errno = err;
    return -1;
  }
  return result;
}

static int openWith(const char* name, const char* path, int flags, mode_t mode) {
  const char* crash = getenv("CORVANE_FAULT_ABORT");
  if (crash != NULL && *crash != '\0' && path != NULL && strstr(path, crash) != NULL) abort();
  if ((flags & O_TMPFILE) == O_TMPFILE && getenv("CORVANE_FAULT_NO_TMPFILE") != NULL) {
    errno = EOPNOTSUPP;
    return -1;
  }
  int (*real)(const char*, int, ...) = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, name);
  return real(path, flags, mode);
}

int open(const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(ap, mode_t) : 0;
  va_end(ap);
  return openWith("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list ap;
  va_start(ap, flags);
  mode_t mode = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(ap, mode_t) : 0;
  va_end(ap);
  return openWith("open64", path, flags, mode);
}

char* mkdtemp(char* pattern) {
  char* (*real)(char*) = (char* (*)(char*))dlsym(RTLD_NEXT, "mkdtemp");
  char* made = real(pattern);
  const char* log = getenv("CORVANE_FAULT_LOG");
  if (made != NULL && log != NULL) {
    FILE* f = fopen(log, "a");
    if (f != NULL) {
      fprintf(f, "%s\n", made);
      fclose(f);
    }
  }
  return made;
}

int adsi_ent2face(const void* ss, const char** filename, int flags) {
  int (*real)(const void*, const char**, int) =
      (int (*)(const void*, const char**, int))dlsym(RTLD_NEXT, "adsi_ent2face");
  static int made;
  const char* slow = getenv("CORVANE_FAULT_SLOW_MS");
  const char* faces = getenv("CORVANE_FAULT_FACES");
  if (slow != NULL) {
    struct timespec pause = {0, atol(slow) * 1000000L};
    fflush(stdout);
    nanosleep(&pause, NULL);
  }
  if (faces != NULL && made >= atoi(faces)) {
    *filename = NULL;
    return -5001; /* RTERROR */
  }
  ++made;
  return real(ss, filename, flags);
}
