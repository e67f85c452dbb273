// The records the 3D renderer draws: objects, their list and the view that holds a camera, an
// output description and a list. scene3d creates, links and configures them (scene3d/objects.h);
// render3d reads them each frame and writes their per-frame working fields.
//
// Lengths are engine units (3D Studio units x 256), angles 1/1024 of a turn, colours 0x00RRGGBB.
#pragma once

#include <cstdint>

#include "render3d/math3d.h"

// One per loaded mesh, shared by the loaded object and all its clones.
struct ShareCounts {
  uint32_t geometry_users;  // objects beyond the first sharing faces, vertices, uvs
  uint32_t normal_users;    // objects beyond the first sharing normals
  uint32_t list_entries;    // list entries holding any of the sharing objects
};

// Object flag bits read by the frame driver, the face pass and the lighting (the full table of
// render modes is with the rasterizer, render3d/raster.h).
constexpr uint32_t kFlagFlatLit = 0x001;
constexpr uint32_t kFlagVertexLit = 0x002;
constexpr uint32_t kFlagEnvMap = 0x008;
constexpr uint32_t kFlagTexEnvMap = 0x010;
constexpr uint32_t kFlagZBuffer = 0x040;
constexpr uint32_t kFlagPerspective = 0x080;
constexpr uint32_t kFlagTwoSided = 0x100;

// One renderable object. All zero when created by object_create.
struct Object3D {
  int32_t vertex_count;
  int32_t face_count;
  uint32_t flags;             // render flags (kFlag* above); 1 after preparation
  int32_t* faces;             // 4 per face: three vertex indices, then a flags word (-1 as loaded)
  float* vertices;            // 3 per vertex, object space
  float* uvs;                 // 2 per vertex (mapping coordinates x 65536), or null
  float* normals;             // 3 per vertex, or null
  Vec3 position;              // where the object stands
  Vec3 pending_move;          // added to local's translation at the next frame, then cleared
  float pending_rotation[3];  // Euler angles applied to local at the next frame, then cleared
  Mat4 local;                 // accumulated orientation and translation
  Mat4 view_matrix;           // object to view space, rebuilt every frame
  Mat4 pivot;                 // from the file's mesh matrix; translation = -256 x mesh origin
  char name[11];              // at most 10 significant bytes, the eleventh always 0
  char material[16];          // material of the first face group, or empty
  void* texture;              // texture unit 1
  void* back_texture;         // texture for back faces
  void* texture2;             // texture unit 2
  void* texture3;             // texture unit 3
  uint32_t colour;            // 0x00RRGGBB; 0x808080 after preparation
  ShareCounts* share;         // shared with every clone
  float radius;               // bounding radius
  float depth_key;            // -centre z, or 2147483648.0 when culled this frame
  float* view_vertices;       // 3 per vertex, per-frame working buffer
  float* screen_vertices;     // 2 per vertex, per-frame working buffer (1/256 pixel)
  float* view_normals;        // 3 per vertex, exists when normals exists
  float node_pivot[3];        // node pivot x 256 from the file; unused
  Vec3 light_vec;             // light-to-object vector in object axes, per frame
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
  Vec3 up;                // (0, 1, 0) after view_init
  Vec3 forward;           // (0, 0, -1) after view_init
  float angles[3];        // the third is the roll
  Vec3 view_offset;       // its negation is the view matrix's translation
  Mat4 matrix;            // view rotation, rebuilt every frame
  int32_t width;          // 320 after view_init
  int32_t height;         // 200
  int32_t depth;          // bits per pixel, 8
  int32_t projection;     // projection factor, 256
  uint32_t* framebuffer;  // where render_view draws
  uint32_t* zbuffer;      // width x height entries, or null
  char name[10];          // camera name from the scene file
};
