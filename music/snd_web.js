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
        audio.processorLoaded.then(function() {
          if (audio.stopped) return;
          var node = new AudioWorkletNode(audio.context, 'driftlight-audio',
                                          {numberOfInputs: 0, numberOfOutputs: 1,
                                           outputChannelCount: [1]});
          // One message per device buffer mixed: the position of its last tick.
          node.port.onmessage = function(e) {
            var m = e.data;
            if (m.type === 'buffer') {
              if (audio.stopped) return;
              audio.buffers = m.buffers;
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
