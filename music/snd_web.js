// The page's half of the web audio device (music/snd_web.cpp). The page makes the AudioContext
// (44100 Hz) as soon as it has loaded, loads the audio processor (web/audio_processor.js) into it
// and puts an analyser in front of the speakers: Module.audio = {context, analyser,
// processorLoaded (a promise), wasm (the sound module's bytes)}, or null when the browser refused
// the context. The live show starts then too and waits in web_audio_start for the viewer's click
// (Module.onAwaitViewer), with the player set up in the audio thread: browsers start sound only
// in answer to a gesture, so the click resumes the context and starts the processor's sound.
mergeInto(LibraryManager.library, {
  web_audio_ready: function() {
    return typeof AudioContext === 'function' && typeof AudioWorkletNode === 'function' ? 1 : 0;
  },

  web_audio_start: function(tickRate) {
    Asyncify.handleSleep(function(wakeUp) {
      var audio = Module.audio;
      var usable = audio && audio.context.sampleRate === 44100;
      if (usable) {
        audio.buffers = 0;
        audio.stopped = false;
        audio.startFrame = undefined;
        audio.heardLast = -1;
        audio.processorLoaded.then(function() {
          if (audio.stopped) return;
          var node = new AudioWorkletNode(audio.context, 'driftlight-audio',
                                          {numberOfInputs: 0, numberOfOutputs: 1,
                                           outputChannelCount: [1]});
          // One message per device buffer mixed: its ticks, and the position of its last.
          node.port.onmessage = function(e) {
            var m = e.data;
            if (m.type === 'buffer') {
              if (audio.stopped) return;
              audio.buffers = m.buffers;
              if (m.startFrame !== undefined) audio.startFrame = m.startFrame;
              for (var i = 0; i + 1 < m.ticks.length; i += 2)
                _snd_web_tick(m.ticks[i], m.ticks[i + 1]);
              _snd_web_position(m.position);
              if (m.buffers === 1 && Module.onFirstSound) Module.onFirstSound();
            } else if (m.type === 'failed') {
              Module.onSoundFailed(m.message);
            }
          };
          node.port.postMessage({type: 'load', wasm: audio.wasm, tickRate: tickRate});
          if (audio.started) node.port.postMessage({type: 'start'});
          node.connect(audio.analyser);
          audio.node = node;
        }, function(e) {
          Module.onSoundFailed(String(e && e.message || e));
        });
      }
      // Called in the click.
      Module.onAwaitViewer(function() {
        if (!usable) {
          Module.onSoundFailed(null);
        } else {
          audio.context.resume();
          audio.started = true;
          if (audio.node) audio.node.port.postMessage({type: 'start'});
        }
        wakeUp();
      });
    });
  },

  // The sample at the speaker now: the context's frame being heard, from its output timestamp
  // (a frame and the page's clock at which it was heard) carried on to now, or where the browser
  // has no valid timestamp yet, the frame being rendered less the output latency; counted from
  // the frame of the first sample; at the time the frame being drawn will be seen, one display
  // frame on (Module.audio.frameMs, which the page measures). Never goes back.
  web_audio_heard_sample: function() {
    var audio = Module.audio;
    if (!audio || audio.startFrame === undefined) return -1;
    var c = audio.context;
    var ts = c.getOutputTimestamp ? c.getOutputTimestamp() : null;
    var seconds;
    if (ts && ts.contextTime > 0 && ts.performanceTime > 0) {
      seconds = ts.contextTime + (performance.now() - ts.performanceTime) / 1000;
    } else {
      seconds = c.currentTime - (c.outputLatency || c.baseLatency || 0);
    }
    seconds += (audio.frameMs || 0) / 1000;
    var sample = Math.floor(seconds * c.sampleRate - audio.startFrame);
    if (sample < audio.heardLast) sample = audio.heardLast;
    audio.heardLast = sample;
    return sample;
  },

  web_audio_stop: function() {
    var audio = Module.audio;
    if (!audio) return;
    audio.stopped = true;
    if (audio.node) {
      audio.node.port.postMessage({type: 'stop'});
      audio.node.port.onmessage = null;
      audio.node.disconnect();
      audio.node = null;
    }
  },
});
