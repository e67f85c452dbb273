// Vector and matrix operations. The element formulas, the angle rounding and the static
// temporaries are kept exactly as they are so that every frame comes out the same bit for bit.
#include "render3d/math3d.h"

#include <cmath>

namespace {

// Products and the roll rotation are built here first, so outputs may alias inputs.
Mat4 mul_temp;
Mat4 roll_temp;

// The camera's reference up: the look-at builds its right axis from the view direction and this.
constexpr Vec3 kReferenceUp = {0.0f, 0.0f, -1.0f};

void sin_cos(double radians, double* s, double* c) {
  *s = std::sin(radians);
  *c = std::cos(radians);
}

}  // namespace

int mat4_identity(Mat4* m) {
  for (float& e : m->m) e = 0.0f;
  m->m[0] = m->m[5] = m->m[10] = m->m[15] = 1.0f;
  return 0;
}

void mat4_euler(Mat4* m, float a, float b, float c) {
  double sc, cc, sa, ca, sb, cb;
  sin_cos(angle_to_radians(c), &sc, &cc);
  sin_cos(angle_to_radians(a), &sa, &ca);
  sin_cos(angle_to_radians(b), &sb, &cb);
  float* e = m->m;
  e[0] = static_cast<float>(cc * cb - sc * sa * sb);
  e[1] = static_cast<float>(sc * ca);
  e[2] = static_cast<float>(-sc * sa * cb - cc * sb);
  e[4] = static_cast<float>(-sc * cb - cc * sa * sb);
  e[5] = static_cast<float>(cc * ca);
  e[6] = static_cast<float>(sc * sb - cc * sa * cb);
  e[8] = static_cast<float>(ca * sb);
  e[9] = static_cast<float>(sa);
  e[10] = static_cast<float>(ca * cb);
}

void mat4_mul(const Mat4* a, const Mat4* b, Mat4* out) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      float sum = 0.0f;
      for (int k = 0; k < 4; ++k) sum += a->m[4 * r + k] * b->m[4 * k + c];
      mul_temp.m[4 * r + c] = sum;
    }
  }
  *out = mul_temp;
}

void mat4_transform_points(int32_t n, const Mat4* m, const float* in, float* out) {
  const float* e = m->m;
  for (int32_t i = n - 1; i >= 0; --i) {
    const float x = in[3 * i], y = in[3 * i + 1], z = in[3 * i + 2];
    out[3 * i] = e[0] * x + e[1] * y + e[2] * z + e[3];
    out[3 * i + 1] = e[4] * x + e[5] * y + e[6] * z + e[7];
    out[3 * i + 2] = e[8] * x + e[9] * y + e[10] * z + e[11];
  }
}

void mat3_rotate_transposed(const Mat4* m, const Vec3* v, Vec3* out) {
  const float* e = m->m;
  const float x = e[0] * v->x + e[4] * v->y + e[8] * v->z;
  const float y = e[1] * v->x + e[5] * v->y + e[9] * v->z;
  const float z = e[2] * v->x + e[6] * v->y + e[10] * v->z;
  out->x = x;
  out->y = y;
  out->z = z;
}

void vec3_cross(const Vec3* a, const Vec3* b, Vec3* out) {
  out->x = a->y * b->z - a->z * b->y;
  out->y = a->z * b->x - a->x * b->z;
  out->z = a->x * b->y - a->y * b->x;
}

void vec3_normalize(Vec3* v) {
  const float len = std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z);
  if (len > 0.0f) {
    const float inv = 1.0f / len;
    v->x *= inv;
    v->y *= inv;
    v->z *= inv;
  } else {
    *v = {1.0f, 0.0f, 0.0f};
  }
}

void mat4_axis_angle(Vec3* axis, float theta, Mat4* out) {
  vec3_normalize(axis);
  double s, c;
  sin_cos(static_cast<double>(theta) * 0.5, &s, &c);
  const float qx = static_cast<float>(axis->x * s);
  const float qy = static_cast<float>(axis->y * s);
  const float qz = static_cast<float>(axis->z * s);
  const float qw = static_cast<float>(c);
  float* e = out->m;
  for (int i = 0; i < 16; ++i) e[i] = 0.0f;
  e[0] = 1.0f - 2.0f * (qy * qy + qz * qz);
  e[1] = 2.0f * (qx * qy - qw * qz);
  e[2] = 2.0f * (qx * qz + qw * qy);
  e[4] = 2.0f * (qx * qy + qw * qz);
  e[5] = 1.0f - 2.0f * (qx * qx + qz * qz);
  e[6] = 2.0f * (qy * qz - qw * qx);
  e[8] = 2.0f * (qx * qz - qw * qy);
  e[9] = 2.0f * (qy * qz + qw * qx);
  e[10] = 1.0f - 2.0f * (qx * qx + qy * qy);
  e[15] = 1.0f;
}

void mat4_look_at(Mat4* m, const Vec3* d, float roll) {
  float* e = m->m;
  Vec3 f = {-d->x, -d->y, -d->z};
  vec3_normalize(&f);
  e[8] = f.x;
  e[9] = f.y;
  e[10] = f.z;

  const Vec3& u_ref = kReferenceUp;
  Vec3 r = {u_ref.z * f.y - u_ref.y * f.z, f.z * u_ref.x - u_ref.z * f.x,
            f.x * u_ref.y - u_ref.x * f.y};
  vec3_normalize(&r);
  e[0] = r.x;
  e[1] = r.y;
  e[2] = r.z;

  Vec3 u;
  vec3_cross(&f, &r, &u);
  vec3_normalize(&u);
  e[4] = u.x;
  e[5] = u.y;
  e[6] = u.z;

  Vec3 axis = {e[8], e[9], e[10]};
  mat4_axis_angle(&axis, angle_to_radians(roll), &roll_temp);
  mat4_mul(m, &roll_temp, m);
}

void mat4_from_axes(Mat4* m, Vec3* fwd, Vec3* up) {
  vec3_normalize(fwd);
  vec3_normalize(up);
  float* e = m->m;
  Vec3 r = {up->y * fwd->z - up->z * fwd->y, up->z * fwd->x - up->x * fwd->z,
            up->x * fwd->y - up->y * fwd->x};
  vec3_normalize(&r);
  e[0] = r.x;
  e[1] = r.y;
  e[2] = r.z;
  e[4] = up->x;
  e[5] = up->y;
  e[6] = up->z;
  e[8] = fwd->x;
  e[9] = fwd->y;
  e[10] = fwd->z;
}
