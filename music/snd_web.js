// The page's half of the web audio device (music/snd_web.cpp). The page makes the AudioContext
// (44100 Hz) and an analyser in front of the speakers when the viewer clicks, since browsers
// start sound only after a gesture: Module.audio = {context, analyser}.
mergeInto(LibraryManager.library, {
  web_audio_ready: function() {
    var audio = Module.audio;
    return audio && audio.context && audio.context.sampleRate === 44100 ? 1 : 0;
  },

  web_audio_start: function() {
    var audio = Module.audio;
    // One device buffer per call, mixed by the show's callback: 2048 samples, no gaps, the
    // music position belonging to the tick last mixed.
    var node = audio.context.createScriptProcessor(2048, 1, 1);
    node.onaudioprocess = function(e) {
      var out = e.outputBuffer.getChannelData(0);
      var at = _snd_web_fill() >> 1;
      for (var i = 0; i < out.length; ++i) out[i] = HEAP16[at + i] / 32768;
      audio.buffers = (audio.buffers || 0) + 1;
    };
    node.connect(audio.analyser);
    audio.node = node;
    if (audio.context.state !== 'running') audio.context.resume();
  },

  web_audio_stop: function() {
    var audio = Module.audio;
    if (audio.node) {
      audio.node.onaudioprocess = null;
      audio.node.disconnect();
      audio.node = null;
    }
  },
});
