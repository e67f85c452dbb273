// The scene script: eleven scenes, each a loop of frames that lasts while the music position
// stays at or below the scene's last position.
#pragma once
#include <cstdint>

// The last position of each scene, in order.
constexpr int32_t kSceneLast[11] = {99, 199, 399, 429, 699, 799, 1099, 1599, 1799, 1899, 1999};

// Runs scenes 1 to 11. Each scene's set-up runs even after a quit request; its loop then draws
// nothing.
void scenes_run();
