#include "tests/driver/music_stand_in.h"

#include "music/music.h"
#include "platform/offline.h"

MusicStandIn music_stand_in;

int music_init() {
  music_stand_in.calls.push_back("init");
  return music_stand_in.init_result;
}

int music_load(uint8_t* module, size_t size) {
  music_stand_in.calls.push_back("load");
  music_stand_in.loaded = module;
  music_stand_in.loaded_size = size;
  music_stand_in.video_open_at_load = offline_is_open();
  return 1;
}

void music_start(int rate) {
  music_stand_in.calls.push_back("start");
  music_stand_in.start_rate = rate;
  music_stand_in.video_open_at_start = offline_is_open();
}

int32_t music_position() {
  if (music_stand_in.calls.empty() || music_stand_in.calls.back() != "position")
    music_stand_in.calls.push_back("position");
  return music_stand_in.position(++music_stand_in.reads);
}

void music_stop() {
  music_stand_in.calls.push_back("stop");
  music_stand_in.video_open_at_stop = offline_is_open();
}
