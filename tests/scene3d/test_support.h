// Helpers shared by the scene3d tests.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "scene3d/objects.h"

namespace test_support {

inline std::vector<uint8_t> read_file(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    int c;
    while ((c = std::fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
  }
  return bytes;
}

// A view for the reader's tests, freed with everything in it.
struct ScopedView {
  View3D view{};
  bool released = false;  // set when the code under test has released the view
  ScopedView() { view_init(&view); }
  ~ScopedView() {
    view_free(&view);
    if (!released) view_release(&view);
  }
  int32_t count() const { return view.objects->count; }
  Object3D* object(int32_t i) const {
    SceneNode* n = view.objects->first;
    while (i-- > 0 && n != nullptr) n = n->next;
    return n != nullptr ? n->object : nullptr;
  }
  SceneNode* node(int32_t i) const {
    SceneNode* n = view.objects->first;
    while (i-- > 0 && n != nullptr) n = n->next;
    return n;
  }
};

}  // namespace test_support
