// The real program, started the way a user would on a machine without a sound device or a
// display: SDL's own drivers fail, the program says so in 12 bytes and ends with status 1.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct Outcome {
  int status;
  std::string err;
};

Outcome run_show(const std::string& env) {
  const std::string err_path =
      testing::TempDir() + "driftlight_err_" + std::to_string(::getpid()) + ".txt";
  const std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY " + env +
                          " '" DRIFTLIGHT_EXE "' >/dev/null 2>'" + err_path + "' </dev/null";
  const int raw = std::system(cmd.c_str());
  std::ifstream in(err_path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  std::remove(err_path.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ss.str()};
}

TEST(Startup, AudioDriverThatDoesNotExistIsDovFailure) {
  const Outcome o = run_show("SDL_AUDIODRIVER=nonexistent SDL_VIDEODRIVER=dummy");
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, "DOV failure\n");
}

TEST(Startup, VideoDriverThatDoesNotExistIsGfxFailure) {
  const Outcome o = run_show("SDL_AUDIODRIVER=dummy SDL_VIDEODRIVER=nonexistent");
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, "GFX failure\n");
}

}  // namespace
