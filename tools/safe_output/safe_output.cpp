#include "tools/safe_output/safe_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

// The temporary file that a signal must not leave behind; written only outside the handler.
char pending[4096];
std::string current;  // the temporary file made last, until committed or abandoned

void remove_pending_and_die(int sig) {
  if (pending[0] != 0) unlink(pending);
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

void watch(const std::string& temp) {
  current = temp;
  if (temp.size() >= sizeof pending) return;  // too long to keep: left behind if interrupted
  std::memcpy(pending, temp.c_str(), temp.size() + 1);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) std::signal(sig, remove_pending_and_die);
}

void unwatch() {
  pending[0] = 0;
  current.clear();
}

std::string dir_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string output_refusal(const std::string& out, const std::vector<std::string>& inputs,
                           bool force) {
  struct stat o;
  if (stat(out.c_str(), &o) != 0) return "";  // nothing there (or a dangling link): written anew
  for (const std::string& in : inputs) {
    struct stat i;
    if (stat(in.c_str(), &i) == 0 && i.st_dev == o.st_dev && i.st_ino == o.st_ino) {
      return "'" + out + "' is the input '" + in + "'; give the output another name";
    }
  }
  if (S_ISDIR(o.st_mode)) return "'" + out + "' is a directory";
  if (!force && S_ISREG(o.st_mode)) return "'" + out + "' exists; --force (-f) replaces it";
  return "";
}

std::string output_begin(const std::string& out) {
  // A device or a pipe (/dev/null, a FIFO) is written where it is: a file renamed over it
  // would replace the device itself.
  struct stat o;
  if (stat(out.c_str(), &o) == 0 && !S_ISREG(o.st_mode)) return out;
  std::string name = dir_of(out) + "/." + base_of(out) + ".XXXXXX";
  const int fd = mkstemp(name.data());
  if (fd < 0) return "";
  // mkstemp makes the file private; the result gets what a plain create would give it.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  close(fd);
  watch(name);
  return name;
}

bool output_commit(const std::string& temp, const std::string& out) {
  if (temp == out) return true;
  if (std::rename(temp.c_str(), out.c_str()) == 0) {
    unwatch();
    return true;
  }
  const int error = errno;
  output_abandon(temp);
  errno = error;
  return false;
}

void output_abandon(const std::string& temp) {
  if (temp.empty() || temp != current) return;  // not a temporary file of ours
  unlink(temp.c_str());
  unwatch();
}
