// scenerender: any 3D Studio file through the show's own reader and 3D engine to PNG pictures.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "driftlight_version.h"
#include "platform/png_writer.h"
#include "render3d/render.h"
#include "scene3d/objects.h"
#include "scene3d/reader3ds.h"
#include "tools/cli/whole_number.h"
#include "tools/safe_output/safe_output.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kFileUnit = 256.0f;  // engine units per file unit

// 65536 as "65,536".
std::string grouped(int64_t n) {
  const std::string digits = std::to_string(n);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

void usage(FILE* to) {
  std::fprintf(to,
               "Usage: scenerender IN.3ds OUT.png [--size WxH] [--camera N] [--painter] [-f]\n"
               "   or: scenerender IN.3ds --frames N --out-dir DIR [--size WxH] [--painter] [-f]\n"
               "   or: scenerender --info IN.3ds\n"
               "Reads a 3D Studio file with the Driftlight scene reader and draws it, flat lit,\n"
               "with the Driftlight 3D engine. The objects are the keyframer's object nodes; a\n"
               "file without a keyframer, or whose keyframer names no objects, gives one object\n"
               "per mesh, where the mesh stands. Each object takes the diffuse colour of the\n"
               "material its faces name, when the file defines it; else a colour of its own.\n"
               "OUT.png must end in .png; '-' writes the picture to standard output. An output\n"
               "is never the input (the same file under any name or link) and never an existing\n"
               "file unless --force is given; it is written under a temporary name and renamed\n"
               "when complete, so an interrupted run leaves the old file as it was.\n"
               "Limits of the reader: counts and vertex indices are unsigned 16-bit in the\n"
               "file, so a mesh has at most 65,535 vertices and 65,535 faces; a scene at most\n"
               "%s faces and %s vertices in all (every node's copy of a mesh counts) and\n"
               "%s objects; names are kept to 10 characters, material names to 16. A file\n"
               "past a limit is refused, naming it.\n"
               "  --size WxH     picture size, at most 3840x2160 (default 320x240); pixels are\n"
               "                 square at every size\n"
               "  --camera N     draw from the file's N-th camera (from 1), with the field of\n"
               "                 view its lens gives (2400 / lens degrees across the picture's\n"
               "                 width); by default the first camera when the file has one,\n"
               "                 else a camera that frames the whole scene (its bounding sphere)\n"
               "  --painter      hide surfaces as the show does, drawing whole faces far to near\n"
               "                 by their centres' depth (faces that intersect or overlap in\n"
               "                 depth can show through); by default every pixel shows the\n"
               "                 nearest face (a depth buffer)\n"
               "  --frames N     draw N frames of an orbit around the scene into\n"
               "                 DIR/frame-0000.png, DIR/frame-0001.png, ...\n"
               "  --out-dir DIR  where --frames writes (it must exist)\n"
               "  -f, --force    replace pictures that exist already\n"
               "  --info         print one line per object (name, vertices, faces) and one per\n"
               "                 camera (position and target, in file units); draw nothing\n"
               "  --version      the program's version\n"
               "A file that cannot be read, that the reader refuses, or that holds no object to\n"
               "draw is reported with the reason (status 1); a bad command line or an output\n"
               "refused gives status 2.\n",
               grouped(kSceneMaxFaces).c_str(), grouped(kSceneMaxVertices).c_str(),
               grouped(kSceneMaxObjects).c_str());
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
  bool painter = false;
  bool force = false;
};

bool parse_int(const char* s, int* out) {
  long v;
  if (!cli_whole_number(s, 0, 1000000, &v)) return false;
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
    } else if (a == "--painter") {
      o->painter = true;
    } else if (a == "--force" || a == "-f") {
      o->force = true;
    } else if (a == "--size" && has_value) {
      const char* v = argv[++i];
      const char* x = std::strchr(v, 'x');
      if (x == nullptr || !parse_int(std::string(v, x).c_str(), &o->width) ||
          !parse_int(x + 1, &o->height) || o->width < 1 || o->height < 1) {
        std::fprintf(stderr, "scenerender: --size takes WxH (e.g. 640x480), not '%s'\n", v);
        return 2;
      }
      if (o->width > kLargeTargetWidth || o->height > kLargeTargetHeight) {
        std::fprintf(stderr, "scenerender: --size %s is larger than %dx%d, the largest picture\n",
                     v, kLargeTargetWidth, kLargeTargetHeight);
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
    } else if (a.size() > 1 && a[0] == '-') {
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
  if (!o->out.empty() && o->out != "-") {
    std::string ext = o->out.size() >= 4 ? o->out.substr(o->out.size() - 4) : "";
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".png") {
      std::fprintf(stderr, "scenerender: '%s' does not end in .png; the picture is a PNG file\n",
                   o->out.c_str());
      return 2;
    }
  }
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

// The field of view as the tangents of its half angles, across and down the picture.
struct Lens {
  double tan_x;
  double tan_y;
};

// The engine's own field of view: a vertical half angle with a tangent of 0.5, and square pixels.
Lens default_lens(const View3D& view) { return {0.5 * view.width / view.height, 0.5}; }

// A 3D Studio camera's lens (focal length in mm) as the files' writers mean it and lib3ds reads
// it: 2400 / lens degrees across the picture's width (exporters write 53.33 mm for 45 degrees).
// 45 degrees when there is no usable lens (0 or less); at most 170 degrees.
Lens camera_lens(const View3D& view, float lens_mm) {
  double fov = lens_mm > 0.0f ? 2400.0 / lens_mm : 45.0;
  if (!(fov <= 170.0)) fov = 170.0;
  const double tan_x = std::tan(fov * kPi / 360.0);
  return {tan_x, tan_x * view.height / view.width};
}

// The engine's projection factors for a lens. A point at x / -z = t in view space lands
// t x w x factor_x / 256 pixels from the centre, so the picture's edge is at t = 128 / factor_x;
// the same holds down the picture with the vertical factor and h.
void use_lens(View3D* view, const Lens& lens) {
  raster_set_projection_x(static_cast<float>(128.0 / lens.tan_x));
  view_set_projection(view, static_cast<int32_t>(std::lround(128.0 / lens.tan_y)));
}

// Places the eye on the sphere's orbit at this azimuth (radians, about the file's vertical z
// axis) and 25 degrees above it, far enough for the whole sphere to fit the narrower half of the
// default field of view.
void frame_camera(View3D* view, const Sphere& s, double azimuth) {
  const Lens lens = default_lens(*view);
  const double tan_half = std::fmin(lens.tan_x, lens.tan_y);
  const double sin_half = tan_half / std::sqrt(1.0 + tan_half * tan_half);
  const double distance = std::fmax(s.radius, kFileUnit) / sin_half * 1.05;
  const double elevation = 25.0 * kPi / 180.0;
  view->target = s.centre;
  view->eye = {static_cast<float>(s.centre.x + distance * std::cos(elevation) * std::cos(azimuth)),
               static_cast<float>(s.centre.y + distance * std::cos(elevation) * std::sin(azimuth)),
               static_cast<float>(s.centre.z + distance * std::sin(elevation))};
  view->angles[2] = 0.0f;
  view->camera_mode = 0;
  use_lens(view, lens);
}

// The light comes from over the viewer's shoulder.
void place_light(const View3D& view) {
  const Vec3 light{view.eye.x + (view.eye.x - view.target.x) * 0.5f,
                   view.eye.y + (view.eye.y - view.target.y) * 0.5f,
                   view.eye.z + std::fabs(view.eye.z - view.target.z) + 1000.0f};
  set_light_position(&light);
}

// The diffuse colour of every material the file defines, by name: the editor's material blocks
// (0xAFFF) with their name (0xA000) and diffuse colour (0xA020), whose value is a chunk of three
// bytes (0x0011, or 0x0012 gamma-corrected) or three floats from 0 to 1 (0x0010, 0x0013). The
// reader has refused a malformed file already, but nothing here trusts a length either.
std::unordered_map<std::string, uint32_t> material_colours(const std::string& path) {
  std::unordered_map<std::string, uint32_t> colours;
  std::vector<uint8_t> b;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
    std::fclose(f);
  }
  auto u16 = [&](size_t at) { return static_cast<uint32_t>(b[at] | b[at + 1] << 8); };
  auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
  // Calls visit(id, data, end) for each sub-chunk of [from, end).
  auto each = [&](size_t from, size_t end, auto visit) {
    for (size_t at = from; at + 6 <= end;) {
      const uint32_t length = u32(at + 2);
      if (length < 6 || length > end - at) return;
      visit(u16(at), at + 6, at + length);
      at += length;
    }
  };
  auto byte = [](double v) {
    return static_cast<uint32_t>(std::lround(std::fmin(std::fmax(v, 0.0), 1.0) * 255));
  };
  if (b.size() < 6 || u16(0) != 0x4D4D) return colours;
  each(6, std::min<size_t>(u32(2), b.size()), [&](uint32_t id, size_t data, size_t end) {
    if (id != 0x3D3D) return;
    each(data, end, [&](uint32_t id, size_t data, size_t end) {
      if (id != 0xAFFF) return;
      std::string name;
      int64_t colour = -1;
      int rank = 0;  // a plain colour chunk before a gamma-corrected one
      each(data, end, [&](uint32_t id, size_t data, size_t end) {
        if (id == 0xA000) {
          for (size_t i = data; i < end && b[i] != 0; ++i) name += static_cast<char>(b[i]);
        } else if (id == 0xA020) {
          each(data, end, [&](uint32_t id, size_t data, size_t end) {
            const int r = id == 0x0011 || id == 0x0010 ? 2 : 1;
            if (r <= rank) return;
            if ((id == 0x0011 || id == 0x0012) && end - data >= 3) {
              colour = b[data] << 16 | b[data + 1] << 8 | b[data + 2];
            } else if ((id == 0x0010 || id == 0x0013) && end - data >= 12) {
              uint32_t c = 0;
              for (int k = 0; k < 3; ++k) {
                float v;
                const uint32_t bits = u32(data + 4 * k);
                std::memcpy(&v, &bits, 4);
                c = c << 8 | byte(v);
              }
              colour = c;
            } else {
              return;
            }
            rank = r;
          });
        }
      });
      if (colour >= 0 && !name.empty()) colours.emplace(name, static_cast<uint32_t>(colour));
    });
  });
  return colours;
}

// Each object in its material's diffuse colour, or, without one, a colour of a palette, so that
// the parts of a model can be told apart.
void colour_objects(View3D* view, const std::unordered_map<std::string, uint32_t>& materials) {
  static const uint32_t kPalette[] = {0xD04030, 0x40A0D0, 0xD0B040, 0x60C060,
                                      0xB060C0, 0xE08040, 0x8080E0, 0xC0C0C0};
  int i = 0;
  view_rewind(view);
  while (Object3D* o = view_next_object(view)) {
    const std::string material(o->material, strnlen(o->material, sizeof o->material));
    const auto found = material.empty() ? materials.end() : materials.find(material);
    o->colour = found != materials.end() ? found->second : kPalette[i % 8];
    ++i;
  }
}

// Writes the picture under a temporary name and gives it path's name when complete; '-' is
// standard output.
bool draw(View3D* view, std::vector<uint32_t>* pixels, const std::string& path) {
  std::fill(pixels->begin(), pixels->end(), 0x101418u);
  place_light(*view);
  render_view(view);
  if (std::all_of(pixels->begin(), pixels->end(), [](uint32_t p) { return p == 0x101418u; })) {
    std::fprintf(stderr, "scenerender: no face of the scene is in view; '%s' not written\n",
                 path.c_str());
    return false;
  }
  const bool to_stdout = path == "-";
  const std::string temp = to_stdout ? "/dev/stdout" : output_begin(path);
  errno = 0;
  if (temp.empty() ||
      !png_write_frame(temp, pixels->data(), view->width, view->height, PngScale::Logical) ||
      (!to_stdout && !output_commit(temp, path))) {
    const int error = errno;
    if (!to_stdout && !temp.empty()) output_abandon(temp);
    std::fprintf(stderr, "scenerender: cannot write '%s'%s%s\n", path.c_str(), error ? ": " : "",
                 error ? std::strerror(error) : "");
    return false;
  }
  return true;
}

// Reads camera index into view's eye, target, roll and name, and its lens into *lens. Returns 0,
// 1 when the file has fewer cameras, -1 when the file is refused. The camera is read into a view
// of its own, since the reader releases the view it was given when the camera is missing.
int read_camera(const std::string& path, int index, View3D* into, float* lens = nullptr) {
  View3D camera{};
  if (view_init(&camera) != 0) return -1;
  const int32_t users = engine_users;
  const int32_t result = read_3ds_camera(path.c_str(), index, &camera, lens);
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
    float lens = 0.0f;
    const int r = read_camera(path, i, &camera, &lens);
    if (r == 1) break;
    if (r < 0) {
      std::fprintf(stderr, "scenerender: %s: %s\n", path.c_str(), read_3ds_last_error());
      return 1;
    }
    std::printf("camera %-10.10s position (%g, %g, %g) target (%g, %g, %g) lens %g mm\n",
                camera.name, camera.eye.x / kFileUnit, camera.eye.y / kFileUnit,
                camera.eye.z / kFileUnit, camera.target.x / kFileUnit, camera.target.y / kFileUnit,
                camera.target.z / kFileUnit, lens);
  }
  return 0;
}

// False, after saying why, when path is no file that can be read: the reader itself only knows
// that it could not open it.
bool readable(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    std::fprintf(stderr, "scenerender: '%s' is a directory\n", path.c_str());
    return false;
  }
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    std::fprintf(stderr, "scenerender: cannot read '%s': %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  std::fclose(f);
  return true;
}

std::string frame_path(const std::string& dir, int k) {
  char name[32];
  std::snprintf(name, sizeof name, "/frame-%04d.png", k);
  return dir + name;
}

int run(const Options& opt, View3D* view) {
  if (!readable(opt.in)) return 1;
  if (read_3ds_objects(opt.in.c_str(), view, SceneReadMode::kNodesOrMeshes) != 0) {
    std::fprintf(stderr, "scenerender: %s: %s\n", opt.in.c_str(), read_3ds_last_error());
    return 1;
  }
  if (opt.info) return info(opt.in, view);
  // A picture of nothing is no success: say so rather than write it.
  int64_t faces = 0;
  view_rewind(view);
  while (Object3D* o = view_next_object(view)) faces += o->face_count;
  if (faces == 0) {
    std::fprintf(stderr, "scenerender: %s: the file holds no faces to draw (%d objects)\n",
                 opt.in.c_str(), static_cast<int>(view->objects->count));
    return 1;
  }
  // Every picture this run would write is allowed before the first is drawn.
  for (int k = 0; k < std::max(opt.frames, 1); ++k) {
    const std::string path = opt.frames > 0 ? frame_path(opt.out_dir, k) : opt.out;
    const std::string why = path == "-" ? "" : output_refusal(path, {opt.in}, opt.force);
    if (!why.empty()) {
      std::fprintf(stderr, "scenerender: %s\n", why.c_str());
      return 2;
    }
  }

  raster_allow_large_targets(true);
  raster_set_depth_fill(!opt.painter);
  std::vector<uint32_t> pixels;
  if (view_set_output(view, opt.width, opt.height, 32) != 0 ||
      (!opt.painter && view_set_zbuffer(view, 1) != 0)) {
    std::fprintf(stderr, "scenerender: out of memory for a %dx%d picture\n", opt.width, opt.height);
    return 1;
  }
  try {
    pixels.resize(static_cast<size_t>(opt.width) * opt.height);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "scenerender: out of memory for a %dx%d picture\n", opt.width, opt.height);
    return 1;
  }
  view->framebuffer = pixels.data();
  set_shade_range(48, 208);  // faces turned away from the light stay visible
  colour_objects(view, material_colours(opt.in));
  const Sphere sphere = bounds(view);

  if (opt.frames > 0) {
    for (int k = 0; k < opt.frames; ++k) {
      frame_camera(view, sphere, -kPi / 3 + 2 * kPi * k / opt.frames);
      if (!draw(view, &pixels, frame_path(opt.out_dir, k))) return 1;
      if (opt.frames >= 10 && (k + 1) % (opt.frames / 10) == 0) {
        std::fprintf(stderr, "scenerender: %d of %d frames\r", k + 1, opt.frames);
      }
    }
    if (opt.frames >= 10) std::fprintf(stderr, "\n");
    return 0;
  }

  float lens = 0.0f;
  const int r = read_camera(opt.in, opt.camera > 0 ? opt.camera : 1, view, &lens);
  if (r < 0 || (r == 1 && opt.camera > 0)) {
    std::fprintf(stderr, "scenerender: %s: %s\n", opt.in.c_str(), read_3ds_last_error());
    return 1;
  }
  if (r == 1)
    frame_camera(view, sphere, -kPi / 3);
  else
    use_lens(view, camera_lens(*view, lens));
  return draw(view, &pixels, opt.out) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  const int parsed = parse(argc, argv, &opt);
  if (parsed != 0) return parsed < 0 ? 0 : parsed;
  if (opt.out == "-" && isatty(STDOUT_FILENO)) {
    std::fprintf(stderr, "scenerender: standard output is a terminal; redirect it or pipe it on\n");
    return 2;
  }
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
