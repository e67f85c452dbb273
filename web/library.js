// What the page's entry point (web/main.cpp) tells the page: every presented frame, the simulated
// run's sound hashes, and the end.
mergeInto(LibraryManager.library, {
  web_report_frame: function(index, timeMs, position, scene, workMs, hashHi, hashLo) {
    Module.onFrame(index, timeMs, position, scene, workMs, hashHi >>> 0, hashLo >>> 0);
  },
  web_report_sound: function(buffers, hash) {
    Module.onSound(buffers, hash >>> 0);
  },
  web_show_ended: function(status) {
    Module.onEnded(status);
  },
});
