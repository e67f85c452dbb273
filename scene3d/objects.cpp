// Objects, views and the object list. A loaded mesh's faces, vertices, mapping and normals are
// shared by the loaded object and its clones and counted in one ShareCounts; the per-frame
// working buffers belong to each object alone. Listed objects live for the whole run.
#include "scene3d/objects.h"

#include <cstdlib>
#include <cstring>

#include "render3d/lighting.h"
#include "render3d/render.h"

int32_t engine_users = 0;

namespace {

// Parent index given to clones: they are roots.
constexpr int32_t kRootIndex = -1;
constexpr int32_t kNodeFlags = 15;
constexpr int32_t kMaxFaces = 65536;

template <typename T>
T* alloc_zeroed(int32_t count, int32_t per_item) {
  return static_cast<T*>(
      std::calloc(static_cast<size_t>(count > 0 ? count : 1) * per_item, sizeof(T)));
}

// Releases the buffers an object owns alone, and the object.
void free_own_buffers(Object3D* o) {
  std::free(o->view_vertices);
  std::free(o->screen_vertices);
  std::free(o->view_normals);
  std::free(o);
}

}  // namespace

int view_init(View3D* view) {
  if (!view) return 1;
  if (engine_users == 0 && render_engine_init() != 0) return 1;
  std::memset(view, 0, sizeof *view);
  view->objects = static_cast<ObjectList*>(std::calloc(1, sizeof(ObjectList)));
  if (!view->objects) return 1;
  view->up = {0.0f, 1.0f, 0.0f};
  view->forward = {0.0f, 0.0f, -1.0f};
  mat4_identity(&view->matrix);
  view->width = 320;
  view->height = 200;
  view->depth = 8;
  view->projection = 256;
  ++engine_users;
  return 0;
}

int view_copy(View3D* dst, const View3D* src) {
  if (!dst || !src) return 1;
  *dst = *src;
  return 0;
}

void view_release(View3D* view) {
  if (!view || engine_users <= 0) return;
  if (--engine_users == 0) render_engine_shutdown();
}

int view_add_object(View3D* view, Object3D* object, int32_t parent_index) {
  if (!view || !object || !view->objects) return 1;
  SceneNode* node = static_cast<SceneNode*>(std::calloc(1, sizeof(SceneNode)));
  if (!node) return 1;
  ObjectList* list = view->objects;
  // Nodes on the stack whose index is not below the new one can never again be anyone's
  // parent: the new node is more recent and its index is no larger.
  while (list->parent_top && list->parent_top->parent_index >= parent_index) {
    list->parent_top = list->parent_top->below;
  }
  node->object = object;
  node->parent = list->parent_top;
  node->parent_index = parent_index;
  node->flags = kNodeFlags;
  node->below = list->parent_top;
  list->parent_top = node;
  if (list->last) {
    list->last->next = node;
  } else {
    list->first = node;
  }
  list->last = node;
  if (object->share) ++object->share->list_entries;
  ++list->count;
  return 0;
}

void view_free(View3D* view) {
  if (!view) return;
  if (view->objects) {
    SceneNode* node = view->objects->first;
    while (node) {
      SceneNode* next = node->next;
      // The share counts make the last of the objects sharing a mesh free it.
      if (node->object->share) node->object->share->list_entries = 0;
      object_free(node->object);
      std::free(node);
      node = next;
    }
    std::free(view->objects);
  }
  std::free(view->zbuffer);
  view->objects = nullptr;
  view->zbuffer = nullptr;
  view->cursor = nullptr;
}

Object3D* object_create(int32_t vertex_count, int32_t face_count, int with_mapping) {
  if (face_count > kMaxFaces || face_count < 0 || vertex_count < 0) return nullptr;
  Object3D* o = static_cast<Object3D*>(std::calloc(1, sizeof(Object3D)));
  if (!o) return nullptr;
  o->share = static_cast<ShareCounts*>(std::calloc(1, sizeof(ShareCounts)));
  if (with_mapping) o->uvs = alloc_zeroed<float>(vertex_count, 2);
  o->view_vertices = alloc_zeroed<float>(vertex_count, 3);
  o->screen_vertices = alloc_zeroed<float>(vertex_count, 2);
  if (face_count != 0) o->faces = alloc_zeroed<int32_t>(face_count, 4);
  if (vertex_count != 0) o->vertices = alloc_zeroed<float>(vertex_count, 3);
  // Every buffer is tested: a missing working buffer would fail on the first frame.
  if (!o->share || (with_mapping && !o->uvs) || !o->view_vertices || !o->screen_vertices ||
      (face_count != 0 && !o->faces) || (vertex_count != 0 && !o->vertices)) {
    std::free(o->share);
    std::free(o->uvs);
    std::free(o->faces);
    std::free(o->vertices);
    free_own_buffers(o);
    return nullptr;
  }
  o->vertex_count = vertex_count;
  o->face_count = face_count;
  return o;
}

void object_free(Object3D* object) {
  if (!object) return;
  ShareCounts* share = object->share;
  if (share && share->list_entries != 0) return;  // a listed object is never released
  if (share && share->normal_users != 0) {
    --share->normal_users;
  } else {
    std::free(object->normals);
  }
  if (share && share->geometry_users != 0) {
    --share->geometry_users;
  } else {
    std::free(object->faces);
    std::free(object->vertices);
    std::free(object->uvs);
    std::free(share);
  }
  free_own_buffers(object);
}

Object3D* object_clone(View3D* view, Object3D* source) {
  if (!source || !source->share) return nullptr;
  Object3D* clone = static_cast<Object3D*>(std::malloc(sizeof(Object3D)));
  if (!clone) return nullptr;
  *clone = *source;
  clone->view_normals = nullptr;
  clone->view_vertices = alloc_zeroed<float>(source->vertex_count, 3);
  clone->screen_vertices = alloc_zeroed<float>(source->vertex_count, 2);
  if (source->normals) clone->view_normals = alloc_zeroed<float>(source->vertex_count, 3);
  // The source is listed, so object_free would refuse the clone: undo by hand instead.
  if (!clone->view_vertices || !clone->screen_vertices ||
      (source->normals && !clone->view_normals)) {
    free_own_buffers(clone);
    return nullptr;
  }
  if (source->normals) ++source->share->normal_users;
  ++source->share->geometry_users;
  if (view_add_object(view, clone, kRootIndex) != 0) {
    if (source->normals) --source->share->normal_users;
    --source->share->geometry_users;
    free_own_buffers(clone);
    return nullptr;
  }
  return clone;
}

void view_rewind(View3D* view) {
  if (view) view->cursor = nullptr;
}

Object3D* view_next_object(View3D* view) {
  if (!view || !view->objects) return nullptr;
  view->cursor = view->cursor ? view->cursor->next : view->objects->first;
  return view->cursor ? view->cursor->object : nullptr;
}

int view_set_output(View3D* view, int32_t width, int32_t height, int32_t bits) {
  if (!view) return 1;
  if (raster_set_target(width, height, bits) != 0) return 1;
  view->width = width;
  view->height = height;
  view->depth = bits;
  if (view->zbuffer) {
    // The old z-buffer may still be held by a copy of this view, so it is not released.
    view->zbuffer = alloc_zeroed<uint32_t>(width, height);
  }
  return 0;
}

int view_set_zbuffer(View3D* view, int on) {
  if (!view) return 1;
  if (on) {
    uint32_t* zb = alloc_zeroed<uint32_t>(view->width, view->height);
    if (!zb) return 1;
    view->zbuffer = zb;
  } else {
    view->zbuffer = nullptr;
  }
  return 0;
}

int view_set_projection(View3D* view, int32_t value) {
  if (!view || raster_set_projection(value) != 0) return 1;
  view->projection = value;
  return 0;
}

int view_set_framebuffer(View3D* view, uint32_t* buffer) {
  if (!view || !buffer) return 1;
  view->framebuffer = buffer;
  return 0;
}

View3D* view_drop_zbuffer(View3D* view) {
  if (view) view->zbuffer = nullptr;
  return view;
}

void set_light_position(const Vec3* v) {
  if (v) light_position = *v;
}

void set_shade_range(int32_t base, int32_t levels) {
  if (base < 0 || levels < 0) return;
  shade_low = static_cast<float>(int64_t{base} * 256);
  shade_high = static_cast<float>((int64_t{base} + levels - 1) * 256);
  shade_span = static_cast<float>(int64_t{levels} * 256);
}
