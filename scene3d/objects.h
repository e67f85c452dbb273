// Objects, views and the object list: the records shared by the whole 3D side, and the small
// interface that creates, links, clones, iterates and configures them.
//
// Lengths are engine units (3D Studio units x 256), angles 1/1024 of a turn, colours 0x00RRGGBB.
// Calls return 0 for success and 1 for failure, or a pointer that is null on failure.
#pragma once

#include <cstdint>

#include "render3d/lighting.h"
#include "render3d/math3d.h"

// One per loaded mesh, shared by the loaded object and all its clones.
struct ShareCounts {
  uint32_t geometry_users;  // objects beyond the first sharing faces, vertices, uvs
  uint32_t normal_users;    // objects beyond the first sharing normals
  uint32_t list_entries;    // list entries holding any of the sharing objects
};

// One renderable object. All zero when created by object_create.
struct Object3D {
  int32_t vertex_count;
  int32_t face_count;
  uint32_t flags;          // render flags; 1 after preparation (bits: see render3d/render_internal.h)
  int32_t* faces;          // 4 per face: three vertex indices, then a flags word (-1 as loaded)
  float* vertices;         // 3 per vertex, object space
  float* uvs;              // 2 per vertex (mapping coordinates x 65536), or null
  float* normals;          // 3 per vertex, or null
  Vec3 position;           // where the object stands
  Vec3 pending_move;       // added to local's translation at the next frame, then cleared
  float pending_rotation[3];  // Euler angles applied to local at the next frame, then cleared
  Mat4 local;              // accumulated orientation and translation
  Mat4 view_matrix;        // object to view space, rebuilt every frame
  Mat4 pivot;              // from the file's mesh matrix; translation = -256 x mesh origin
  char name[11];           // at most 10 significant bytes, the eleventh always 0
  char material[16];       // material of the first face group, or empty
  void* texture;           // texture unit 1
  void* back_texture;      // texture for back faces
  void* texture2;          // texture unit 2
  void* texture3;          // texture unit 3
  uint32_t colour;         // 0x00RRGGBB; 0x808080 after preparation
  ShareCounts* share;      // shared with every clone
  float radius;            // bounding radius
  float depth_key;         // -centre z, or 2147483648.0 when culled this frame
  float* view_vertices;    // 3 per vertex, per-frame working buffer
  float* screen_vertices;  // 2 per vertex, per-frame working buffer (1/256 pixel)
  float* view_normals;     // 3 per vertex, exists when normals exists
  float node_pivot[3];     // node pivot x 256 from the file; unused
  Vec3 light_vec;          // light-to-object vector in object axes, per frame
};

// One list entry.
struct SceneNode {
  Object3D* object;
  SceneNode* next;
  SceneNode* parent;     // node of the parent object, or null for a root
  int32_t parent_index;  // as given when added (-1 for a root)
  int32_t flags;         // 15 when added
  SceneNode* below;      // next older node that can still become a parent (see ObjectList)
};

// Nodes are appended at the end and never removed. A node's parent is the most recent node with
// a smaller parent index; the nodes that can still be that (each with a smaller index than every
// node added after it) form a stack from parent_top through below, so adding is constant time
// on average however long the list grows.
struct ObjectList {
  SceneNode* first;
  int32_t count;
  SceneNode* last;
  SceneNode* parent_top;
};

// A camera, an output description and a list of objects.
struct View3D {
  ObjectList* objects;  // copies of a view share it
  SceneNode* cursor;    // iteration position
  int32_t camera_mode;  // 0: from eye, target and roll (angles[2]); 2: from forward and up
  Vec3 eye;
  Vec3 target;
  Vec3 up;              // (0, 1, 0) after view_init
  Vec3 forward;         // (0, 0, -1) after view_init
  float angles[3];      // the third is the roll
  Vec3 view_offset;     // its negation is the view matrix's translation
  Mat4 matrix;          // view rotation, rebuilt every frame
  int32_t width;        // 320 after view_init
  int32_t height;       // 200
  int32_t depth;        // bits per pixel, 8
  int32_t projection;   // projection factor, 256
  uint32_t* framebuffer;  // where render_view draws
  uint32_t* zbuffer;      // width x height entries, or null
  char name[10];          // camera name from the scene file
};

// Engine-wide settings. engine_users counts live views. The light and the shade range are set
// here and read by the lighting in render3d, which holds them (render3d/lighting.h).
extern int32_t engine_users;

int view_init(View3D* view);
int view_copy(View3D* dst, const View3D* src);
void view_release(View3D* view);
// Frees the view's objects, their list entries, the list and the z-buffer, leaving the view
// without objects. The program keeps its views for the whole run; tests, benchmarks and tools
// that load scenes again and again free them with this. Copies of the view share the list and
// the z-buffer and must not be used afterwards. Engine users are counted by view_release.
void view_free(View3D* view);
int view_add_object(View3D* view, Object3D* object, int32_t parent_index);
Object3D* object_create(int32_t vertex_count, int32_t face_count, int with_mapping);
void object_free(Object3D* object);
Object3D* object_clone(View3D* view, Object3D* source);
void view_rewind(View3D* view);
Object3D* view_next_object(View3D* view);
int view_set_output(View3D* view, int32_t width, int32_t height, int32_t bits);
int view_set_zbuffer(View3D* view, int on);
int view_set_projection(View3D* view, int32_t value);
int view_set_framebuffer(View3D* view, uint32_t* buffer);
View3D* view_drop_zbuffer(View3D* view);
void set_light_position(const Vec3* v);
void set_shade_range(int32_t base, int32_t levels);
