// Tests that run the show several times in one process: the 3D scene's records are made once
// per run and meant to live until the process ends, so each new run orphans the previous ones.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:bounce_scene_init_from\n";
}
