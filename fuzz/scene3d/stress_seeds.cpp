// scene3d_stress_seeds DIR: writes the stress scene files into DIR as seeds for fuzz_scene3d.
// The fuzzer cannot grow inputs of hundreds of kilobytes with thousands of nodes by itself, and
// those are the inputs that found the reader's quadratic time and unbounded memory.
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "tests/scene3d/stress_files.h"

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(argc == 2 ? stdout : stderr,
                 "usage: scene3d_stress_seeds DIR\n"
                 "Writes the 3D Studio stress files (many nodes, many objects, one mesh named by\n"
                 "many nodes, colliding long names, short records, truncations) into DIR.\n");
    return argc == 2 ? 0 : 2;
  }
  using namespace stress3ds;
  std::vector<size_t> boundaries;
  const Bytes whole = sample(Short::kNone, &boundaries);
  std::vector<std::pair<std::string, Bytes>> files = {
      {"many_nodes", many_nodes()},
      {"many_objects", many_objects()},
      {"one_mesh_many_nodes", one_mesh_many_nodes()},
      {"colliding_names", colliding_names()},
      {"sample", whole},
      {"short_mesh_matrix", sample(Short::kMeshMatrix)},
      {"short_node_pivot", sample(Short::kNodePivot)},
      {"short_node_header", sample(Short::kNodeHeader)},
      {"short_camera", sample(Short::kCamera)},
  };
  // Cut at 90% and at the middle of the sample's chunk boundaries.
  files.push_back({"truncated_90", Bytes(whole.begin(), whole.begin() + whole.size() * 9 / 10)});
  files.push_back({"truncated_mid",
                   Bytes(whole.begin(), whole.begin() + boundaries[boundaries.size() / 2])});
  for (const auto& [name, bytes] : files) {
    const std::string path = std::string(argv[1]) + "/" + name + ".3ds";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
      std::fprintf(stderr, "scene3d_stress_seeds: cannot write %s\n", path.c_str());
      if (f != nullptr) std::fclose(f);
      return 1;
    }
    std::fclose(f);
  }
  return 0;
}
