// Vectors, 4x4 matrices and rotations for the 3D engine.
//
// Mat4 is row-major: element (row r, column c) is m[4r + c]. Points are column vectors, p' = M p,
// with the translation in m[3], m[7], m[11]. mat4_mul(A, B, out) gives A B (B acts first).
// Rotations are right-handed. Angles in scene data are in 1/1024 of a full turn; they are turned
// into radians as float(angle * pi / 512) before the double-precision sine and cosine.
// View space: x right, y up, the camera looks along -z; the near plane is z = NEAR_Z.
#pragma once

#include <cstdint>

struct Vec3 {
  float x, y, z;
};

struct Mat4 {
  float m[16];
};

// A point is in front of the near plane when its view z is at most this.
constexpr float NEAR_Z = -105.0f;

// pi / 512: one angle unit (1/1024 of a turn) in radians, applied in double precision.
constexpr double kAngleToRadians = 3.141592653589793 * 0.001953125;

// Radians of an angle in the angle unit, rounded to float as every caller does.
inline float angle_to_radians(float angle) {
  return static_cast<float>(static_cast<double>(angle) * kAngleToRadians);
}

// Sets m to the identity. Returns 0.
int mat4_identity(Mat4* m);

// Writes the rotation Rz(-c) Rx(a) Ry(-b) (angles in the angle unit) into elements
// 0, 1, 2, 4, 5, 6, 8, 9, 10 only; the others keep their values.
void mat4_euler(Mat4* m, float a, float b, float c);

// out = a b. out may alias a or b (the product is built in a static temporary; not re-entrant).
void mat4_mul(const Mat4* a, const Mat4* b, Mat4* out);

// Transforms n points (3 floats each) by m, last to first; in and out may be the same array.
void mat4_transform_points(int32_t n, const Mat4* m, const float* in, float* out);

// out = transpose(upper-left 3x3 of m) v; out may be v.
void mat3_rotate_transposed(const Mat4* m, const Vec3* v, Vec3* out);

// out = a x b; out must not be a or b.
void vec3_cross(const Vec3* a, const Vec3* b, Vec3* out);

// Scales v to unit length; a zero (or non-positive length) vector becomes (1, 0, 0).
void vec3_normalize(Vec3* v);

// Rotation by theta radians about axis (normalised in place), through a quaternion.
void mat4_axis_angle(Vec3* axis, float theta, Mat4* out);

// View rotation of a camera looking along d (target - eye), rolled by roll (angle unit).
// m must be the identity on entry; its translation column comes through unchanged.
void mat4_look_at(Mat4* m, const Vec3* d, float roll);

// Rows 0..2 of m from the axes fwd and up (both normalised in place).
void mat4_from_axes(Mat4* m, Vec3* fwd, Vec3* up);
