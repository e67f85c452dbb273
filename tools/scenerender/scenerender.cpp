// scenerender: any 3D Studio file through the show's own reader and 3D engine to PNG pictures.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driftlight_version.h"
#include "platform/png_writer.h"
#include "render3d/render.h"
#include "scene3d/objects.h"
#include "scene3d/reader3ds.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kFileUnit = 256.0f;  // engine units per file unit

void usage(FILE* to) {
  std::fprintf(to,
               "Usage: scenerender IN.3ds OUT.png [--size WxH] [--camera N]\n"
               "   or: scenerender IN.3ds --frames N --out-dir DIR [--size WxH]\n"
               "   or: scenerender --info IN.3ds\n"
               "Reads a 3D Studio file with the Driftlight scene reader and draws it, flat lit,\n"
               "with the Driftlight 3D engine.\n"
               "  --size WxH     picture size, at most 640x480 (default 320x240; the engine's\n"
               "                 pixels are square at 4:3)\n"
               "  --camera N     draw from the file's N-th camera (from 1); by default the first\n"
               "                 camera when the file has one, else a camera that frames the\n"
               "                 whole scene (its bounding sphere)\n"
               "  --frames N     draw N frames of an orbit around the scene into\n"
               "                 DIR/frame-0000.png, DIR/frame-0001.png, ...\n"
               "  --out-dir DIR  where --frames writes (it must exist)\n"
               "  --info         print one line per object (name, vertices, faces) and one per\n"
               "                 camera (position and target, in file units); draw nothing\n"
               "  --version      the program's version\n"
               "A file the reader refuses is reported with the reader's reason (status 1).\n");
}

struct Options {
  std::string in;
  std::string out;
  std::string out_dir;
  int width = 320;
  int height = 240;
  int camera = 0;  // 0: the first camera if there is one, else the framing camera
  int frames = 0;  // 0: one picture to out
  bool info = false;
};

bool parse_int(const char* s, int* out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(s, &end, 10);
  if (errno != 0 || end == s || *end != 0 || v < 0 || v > 1000000) return false;
  *out = static_cast<int>(v);
  return true;
}

// Returns 0 when the options are usable, 2 after a usage error, -1 after --help.
int parse(int argc, char** argv, Options* o) {
  std::vector<std::string> positional;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    if (a == "--help" || a == "-h") {
      usage(stdout);
      return -1;
    } else if (a == "--version") {
      std::printf("scenerender %s\n", DRIFTLIGHT_VERSION);
      return -1;
    } else if (a == "--info") {
      o->info = true;
    } else if (a == "--size" && has_value) {
      if (std::sscanf(argv[++i], "%dx%d", &o->width, &o->height) != 2 || o->width < 1 ||
          o->height < 1 || o->width > 640 || o->height > 480) {
        std::fprintf(stderr, "scenerender: --size takes WxH, at most 640x480\n");
        return 2;
      }
    } else if (a == "--camera" && has_value) {
      if (!parse_int(argv[++i], &o->camera) || o->camera < 1) {
        std::fprintf(stderr, "scenerender: --camera takes a number from 1\n");
        return 2;
      }
    } else if (a == "--frames" && has_value) {
      if (!parse_int(argv[++i], &o->frames) || o->frames < 1) {
        std::fprintf(stderr, "scenerender: --frames takes a number from 1\n");
        return 2;
      }
    } else if (a == "--out-dir" && has_value) {
      o->out_dir = argv[++i];
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "scenerender: unknown option or missing value: %s\n", a.c_str());
      usage(stderr);
      return 2;
    } else {
      positional.push_back(a);
    }
  }
  const size_t wanted = o->info || o->frames > 0 ? 1 : 2;
  if (positional.size() != wanted || (o->frames > 0 && o->out_dir.empty())) {
    usage(stderr);
    return 2;
  }
  o->in = positional[0];
  if (wanted == 2) o->out = positional[1];
  return 0;
}

// The scene's bounding sphere in engine units: the centre of its box and the farthest vertex.
struct Sphere {
  Vec3 centre{0.0f, 0.0f, 0.0f};
  float radius = 0.0f;
};

Sphere bounds(View3D* view) {
  float lo[3] = {INFINITY, INFINITY, INFINITY};
  float hi[3] = {-INFINITY, -INFINITY, -INFINITY};
  view_rewind(view);
  while (Object3D* o = view_next_object(view)) {
    for (int32_t i = 0; i < 3 * o->vertex_count; ++i) {
      lo[i % 3] = std::fmin(lo[i % 3], o->vertices[i]);
      hi[i % 3] = std::fmax(hi[i % 3], o->vertices[i]);
    }
  }
  Sphere s;
  if (!(lo[0] <= hi[0])) return s;  // no vertices at all
  s.centre = {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
  double r2 = 0.0;
  view_rewind(view);
  while (Object3D* o = view_next_object(view)) {
    for (int32_t i = 0; i < o->vertex_count; ++i) {
      const double dx = o->vertices[3 * i] - s.centre.x;
      const double dy = o->vertices[3 * i + 1] - s.centre.y;
      const double dz = o->vertices[3 * i + 2] - s.centre.z;
      r2 = std::fmax(r2, dx * dx + dy * dy + dz * dz);
    }
  }
  s.radius = static_cast<float>(std::sqrt(r2));
  return s;
}

// Places the eye on the sphere's orbit at this azimuth (radians, about the file's vertical z
// axis) and 25 degrees above it, far enough for the whole sphere to fit the narrower field of
// view (the engine's vertical half-angle has a tangent of 0.5).
void frame_camera(View3D* view, const Sphere& s, double azimuth) {
  const double sin_half = 0.5 / std::sqrt(1.25);
  const double distance = std::fmax(s.radius, kFileUnit) / sin_half * 1.05;
  const double elevation = 25.0 * kPi / 180.0;
  view->target = s.centre;
  view->eye = {static_cast<float>(s.centre.x + distance * std::cos(elevation) * std::cos(azimuth)),
               static_cast<float>(s.centre.y + distance * std::cos(elevation) * std::sin(azimuth)),
               static_cast<float>(s.centre.z + distance * std::sin(elevation))};
  view->angles[2] = 0.0f;
  view->camera_mode = 0;
}

// The light comes from over the viewer's shoulder.
void place_light(const View3D& view) {
  const Vec3 light{view.eye.x + (view.eye.x - view.target.x) * 0.5f,
                   view.eye.y + (view.eye.y - view.target.y) * 0.5f,
                   view.eye.z + std::fabs(view.eye.z - view.target.z) + 1000.0f};
  set_light_position(&light);
}

// A colour per object, so that the parts of a model can be told apart.
void colour_objects(View3D* view) {
  static const uint32_t kPalette[] = {0xD04030, 0x40A0D0, 0xD0B040, 0x60C060,
                                      0xB060C0, 0xE08040, 0x8080E0, 0xC0C0C0};
  int i = 0;
  view_rewind(view);
  while (Object3D* o = view_next_object(view)) o->colour = kPalette[i++ % 8];
}

bool draw(View3D* view, std::vector<uint32_t>* pixels, const std::string& path) {
  std::fill(pixels->begin(), pixels->end(), 0x101418u);
  place_light(*view);
  render_view(view);
  if (!png_write_frame(path, pixels->data(), view->width, view->height, PngScale::Logical)) {
    std::fprintf(stderr, "scenerender: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

// Reads camera index into view's eye, target, roll and name. Returns 0, 1 when the file has
// fewer cameras, -1 when the file is refused. The camera is read into a view of its own, since the
// reader releases the view it was given when the camera is missing.
int read_camera(const std::string& path, int index, View3D* into) {
  View3D camera{};
  if (view_init(&camera) != 0) return -1;
  const int32_t users = engine_users;
  const int32_t result = read_3ds_camera(path.c_str(), index, &camera);
  const bool released = engine_users != users;
  if (result == 0) {
    into->eye = camera.eye;
    into->target = camera.target;
    into->angles[2] = camera.angles[2];
    std::memcpy(into->name, camera.name, sizeof into->name);
    into->camera_mode = 0;
  }
  view_free(&camera);
  if (!released) view_release(&camera);
  return result == 0 ? 0 : released ? 1 : -1;
}

int info(const std::string& path, View3D* view) {
  view_rewind(view);
  while (Object3D* o = view_next_object(view)) {
    std::printf("object %-10s %6d vertices %6d faces\n", o->name, o->vertex_count, o->face_count);
  }
  for (int i = 1;; ++i) {
    View3D camera{};
    const int r = read_camera(path, i, &camera);
    if (r == 1) break;
    if (r < 0) {
      std::fprintf(stderr, "scenerender: %s: %s\n", path.c_str(), read_3ds_last_error());
      return 1;
    }
    std::printf("camera %-10.10s position (%g, %g, %g) target (%g, %g, %g)\n", camera.name,
                camera.eye.x / kFileUnit, camera.eye.y / kFileUnit, camera.eye.z / kFileUnit,
                camera.target.x / kFileUnit, camera.target.y / kFileUnit,
                camera.target.z / kFileUnit);
  }
  return 0;
}

int run(const Options& opt, View3D* view) {
  if (read_3ds_objects(opt.in.c_str(), view) != 0) {
    std::fprintf(stderr, "scenerender: %s: %s\n", opt.in.c_str(), read_3ds_last_error());
    return 1;
  }
  if (opt.info) return info(opt.in, view);
  if (view->objects->count == 0) {
    std::fprintf(stderr, "scenerender: %s: the keyframer names no objects; the picture is empty\n",
                 opt.in.c_str());
  }

  if (view_set_output(view, opt.width, opt.height, 32) != 0) return 2;
  std::vector<uint32_t> pixels(static_cast<size_t>(opt.width) * opt.height);
  view->framebuffer = pixels.data();
  set_shade_range(48, 208);  // faces turned away from the light stay visible
  colour_objects(view);
  const Sphere sphere = bounds(view);

  if (opt.frames > 0) {
    for (int k = 0; k < opt.frames; ++k) {
      frame_camera(view, sphere, -kPi / 3 + 2 * kPi * k / opt.frames);
      char name[32];
      std::snprintf(name, sizeof name, "/frame-%04d.png", k);
      if (!draw(view, &pixels, opt.out_dir + name)) return 1;
      if (opt.frames >= 10 && (k + 1) % (opt.frames / 10) == 0) {
        std::fprintf(stderr, "scenerender: %d of %d frames\r", k + 1, opt.frames);
      }
    }
    if (opt.frames >= 10) std::fprintf(stderr, "\n");
    return 0;
  }

  const int r = read_camera(opt.in, opt.camera > 0 ? opt.camera : 1, view);
  if (r < 0 || (r == 1 && opt.camera > 0)) {
    std::fprintf(stderr, "scenerender: %s: %s\n", opt.in.c_str(), read_3ds_last_error());
    return 1;
  }
  if (r == 1) frame_camera(view, sphere, -kPi / 3);
  return draw(view, &pixels, opt.out) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  const int parsed = parse(argc, argv, &opt);
  if (parsed != 0) return parsed < 0 ? 0 : parsed;
  View3D view{};
  if (view_init(&view) != 0) {
    std::fprintf(stderr, "scenerender: out of memory\n");
    return 1;
  }
  const int status = run(opt, &view);
  view_free(&view);
  view_release(&view);
  return status;
}
