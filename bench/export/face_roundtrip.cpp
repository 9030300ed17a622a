// The floor under a per-object export cost: the bare round trip of one small
// face file through the file system, as the host makes one per object.
//
//   face_roundtrip [ITERATIONS]
//
// Each iteration creates a file with mkstemp (in /dev/shm when it is
// writable, else /tmp), writes 200 bytes, closes it (the host's share),
// opens it again, reads the bytes back, closes and unlinks it (the module's
// share). Prints the microseconds per iteration of the whole round trip and
// of the module's share, on one line. Exit status: 0 measured, 1 a file
// operation failed, 2 usage.

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string tempDirectory() {
  return access("/dev/shm", W_OK | X_OK) == 0 ? "/dev/shm" : "/tmp";
}

bool fail(const char* what) {
  std::perror(what);
  return false;
}

using Clock = std::chrono::steady_clock;

bool roundTrip(const std::string& pattern, const char* payload, size_t size, Clock::duration& moduleShare) {
  std::string name = pattern;
  int fd = mkstemp(name.data());
  if (fd < 0) return fail("mkstemp");
  bool good = write(fd, payload, size) == static_cast<ssize_t>(size);
  good = (close(fd) == 0) && good;
  if (!good) {
    unlink(name.c_str());
    return fail("write");
  }
  const Clock::time_point reading = Clock::now();
  fd = open(name.c_str(), O_RDONLY);
  if (fd < 0) {
    unlink(name.c_str());
    return fail("open");
  }
  char back[512];
  good = read(fd, back, sizeof back) == static_cast<ssize_t>(size) && std::memcmp(back, payload, size) == 0;
  close(fd);
  if (unlink(name.c_str()) != 0) return fail("unlink");
  moduleShare += Clock::now() - reading;
  if (!good) return fail("read");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  long iterations = 100000;
  if (argc > 2) {
    std::fprintf(stderr, "usage: face_roundtrip [ITERATIONS]\n");
    return 2;
  }
  if (argc == 2) {
    char* end = nullptr;
    iterations = std::strtol(argv[1], &end, 10);
    if (*end != '\0' || iterations < 1) {
      std::fprintf(stderr, "usage: face_roundtrip [ITERATIONS]\n");
      return 2;
    }
  }
  const std::string pattern = tempDirectory() + "/face_roundtrip.XXXXXX";
  char payload[200];
  for (size_t i = 0; i < sizeof payload; ++i) payload[i] = static_cast<char>('0' + i % 64);

  Clock::duration moduleShare{};
  const auto start = Clock::now();
  for (long i = 0; i < iterations; ++i) {
    if (!roundTrip(pattern, payload, sizeof payload, moduleShare)) return 1;
  }
  const std::chrono::duration<double, std::micro> elapsed = Clock::now() - start;
  const std::chrono::duration<double, std::micro> module = moduleShare;
  std::printf("%.3f %.3f\n", elapsed.count() / static_cast<double>(iterations),
              module.count() / static_cast<double>(iterations));
  return 0;
}
