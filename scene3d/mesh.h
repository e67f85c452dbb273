// Mesh preparation: puts a freshly read object into the state the renderer expects.
#pragma once
#include <cstdint>

struct Object3D;

// Normals are unit face normals scaled to this length, averaged per vertex.
constexpr float kNormalLength = 30976.0f;
// A vertex averages the normals of at most this many of its faces (the first ones in face order).
constexpr int32_t kMaxFacesPerVertex = 15;

// Default flags (1) and colour (0x808080), identity matrices, faces wound the way the renderer
// culls them, the bounding radius about the mesh origin, and smooth vertex normals.
void object_prepare(Object3D* object);

// Vertex normals as the plain mean of the scaled normals of each vertex's first 15 faces.
// Returns 0, or 1 when memory runs out (the object is then left without normals of its own).
int32_t object_compute_normals(Object3D* object);

// Centres the vertices on the z axis (mean x and y to 0) and moves position to compensate.
void object_center_xy(Object3D* object);
