// Arbitrary bytes as an embedded scene file: both readers through the memory stream (the object
// reader as the show calls it, or as scenerender does, taking the meshes when there are no
// nodes), then mesh preparation again on whatever was loaded. Loads may fail; nothing may go wrong.
#include <cstdint>
#include <cstdlib>

#include "scene3d/mesh.h"
#include "scene3d/objects.h"
#include "scene3d/reader3ds.h"
#include "tests/scene3d/test_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  View3D view{};
  if (view_init(&view) != 0) return 0;
  const int32_t index = size > 0 ? 1 + data[size - 1] % 3 : 1;
  const bool camera_ok = load_scene_camera(data, size, index, &view) == 0;
  const bool meshes = size > 0 && (data[size - 1] & 0x80) != 0;
  load_scene_objects(data, size, &view,
                     meshes ? SceneReadMode::kNodesOrMeshes : SceneReadMode::kNodes);

  // Everything loaded must be safe to prepare again, clone and centre. The stress seeds load
  // thousands of objects; preparing the first few hundred again is enough to exercise it.
  view_rewind(&view);
  Object3D* last = nullptr;
  int32_t prepared = 0;
  while (Object3D* o = view_next_object(&view)) {
    for (int32_t f = 0; f < 4 * o->face_count; ++f) {
      if (o->faces[f] >= o->vertex_count) std::abort();
    }
    if (prepared++ < 256) {
      object_compute_normals(o);
      object_center_xy(o);
    }
    last = o;
  }
  if (last != nullptr) object_clone(&view, last);

  view_free(&view);  // the program keeps them; a run must not
  if (camera_ok) view_release(&view);
  return 0;
}
