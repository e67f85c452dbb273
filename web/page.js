// The page around the show (runs before Emscripten's loader, inside driftlight.js): the start
// screen with its warning and its two shows, the 4 : 3 layout of the canvas, the touch controls,
// what each frame reports, and the end. Everything a test or a curious viewer may want is in
// window.driftlight.
(function() {
  var params = new URLSearchParams(location.search);
  var simulated = params.has('simulate');
  var fps = simulated ? (parseInt(params.get('simulate'), 10) || 60) : 0;
  var stage = document.getElementById('stage');
  var canvas = document.getElementById('screen');
  var scanlines = document.getElementById('scanlines');
  var intro = document.getElementById('intro');
  var hint = document.getElementById('start-hint');
  var buttons = [document.getElementById('start'), document.getElementById('start-gentle')];
  var controls = document.getElementById('controls');

  var page = window.driftlight = {
    state: 'loading',   // loading, ready (waits for the click), running, ended, failed
    simulated: simulated,
    fps: fps,
    gentle: null,       // the viewer's choice, once made
    frames: [],         // {index, time, position, scene, work, hash, buffers}
    sound: [],          // simulated runs: {buffers, hash} of the sound mixed so far
    status: null,
    message: '',
    timing: null,       // per scene: {scene, frames, median, worst, first} in ms
    shown: [],          // live, the last kShown frames: {index, position, at: when shown, ms}
    audio: null,
    clickedAt: null,    // the page's clock at the click, ms
    firstFrame: null,   // from the click to the first frame shown, ms
    firstSound: null,   // from the click to the first device buffer played, ms
  };
  var kShown = 600;
  var lastShownAt = null;
  var stderr = '';
  var seen = {};      // first frame of each scene (it also pays for the scene's set-up)
  var work = {};      // scene -> the other frames' times, ms
  var runtimeReady = false;
  var awaiting = null;  // the live show's continuation while it waits for the click

  Module.canvas = canvas;
  Module.stage = stage;
  Module.noInitialRun = true;
  Module.printErr = function(text) { stderr += text + '\n'; console.warn(text); };

  function say(text, again) {
    document.getElementById('message-text').textContent = text;
    document.getElementById('again').hidden = !again;
    document.getElementById('message').hidden = false;
    page.message = text;
  }

  function fail(text) {
    intro.hidden = true;
    controls.hidden = true;
    canvas.style.display = scanlines.style.display = 'none';
    page.state = 'failed';
    Module.quit = true;  // a show still running ends at its next frame
    say(text, false);
  }

  // The picture's rectangle is the window's rule applied to the stage in device pixels, so that
  // its edges and the scanline canvas's rows fall on whole device pixels.
  var scanlineRows = 0;
  function layout() {
    if (page.state !== 'running') return;
    var dpr = window.devicePixelRatio || 1;
    var w = Math.round(stage.clientWidth * dpr), h = Math.round(stage.clientHeight * dpr);
    var r = Module._web_viewport(w, h) >> 2;
    var rect = [HEAP32[r], HEAP32[r + 1], HEAP32[r + 2], HEAP32[r + 3]];
    [canvas, scanlines].forEach(function(c) {
      c.style.left = rect[0] / dpr + 'px';
      c.style.top = rect[1] / dpr + 'px';
      c.style.width = rect[2] / dpr + 'px';
      c.style.height = rect[3] / dpr + 'px';
    });
    // One scanline row per device pixel row, made again only when the height changes.
    if (rect[3] > 0 && rect[3] !== scanlineRows) {
      scanlineRows = rect[3];
      var at = Module._web_scanlines(rect[3]);
      scanlines.width = 1;
      scanlines.height = rect[3];
      var rows = new Uint8ClampedArray(HEAPU8.buffer.slice(at, at + rect[3] * 4));
      scanlines.getContext('2d').putImageData(new ImageData(rows, 1, rect[3]), 0, 0);
    }
  }
  window.addEventListener('resize', layout);
  document.addEventListener('fullscreenchange', function() {
    page.fullscreen = !!document.fullscreenElement;
    layout();
  });

  function showPicture() {
    intro.hidden = true;
    page.state = 'running';
    Module.showStarted = true;  // from now on the keys are the show's
    canvas.style.display = scanlines.style.display = 'block';
    layout();
  }

  Module.onVideoOpen = layout;

  Module.onFrame = function(index, time, position, scene, ms, hi, lo) {
    var hash = '';
    if (simulated) hash = (hi ? hi.toString(16) + lo.toString(16).padStart(8, '0') : lo.toString(16));
    if (page.firstFrame === null) page.firstFrame = performance.now() - page.clickedAt;
    // Live, the device buffers mixed so far: what is heard is never past their last tick.
    var buffers = Module.audio ? Module.audio.buffers : 0;
    page.frames.push({index: index, time: time, position: position, scene: scene, work: ms,
                      hash: hash, buffers: buffers});
    // Live, when each frame is put on screen: it goes to the canvas now and is shown with the
    // next display frame, whose time the next animation callback is given.
    if (!simulated) {
      var shown = {index: index, position: position, at: null};
      page.shown.push(shown);
      if (page.shown.length > kShown) page.shown.shift();
      requestAnimationFrame(function(t) {
        shown.at = t;
        // The display's frame time, smoothed: a frame drawn now is seen one display frame on,
        // and the position it shows is the one heard then (music/snd_web.js).
        if (lastShownAt !== null && Module.audio && t - lastShownAt > 4 && t - lastShownAt < 100)
          Module.audio.frameMs = Module.audio.frameMs ?
              0.9 * Module.audio.frameMs + 0.1 * (t - lastShownAt) : t - lastShownAt;
        lastShownAt = t;
      });
    }
    if (!seen[scene]) {
      seen[scene] = ms;
      work[scene] = [];
    } else {
      work[scene].push(ms);
    }
  };

  Module.onSound = function(buffers, hash) {
    page.sound.push({buffers: buffers, hash: hash});
  };

  // Each scene's median and worst frame time, its first frame (with the set-up) apart.
  function timingTable() {
    var rows = [];
    var lines = ['scene  frames  median ms  worst ms  first frame ms (set-up)'];
    var worstMedian = 0, worstScene = 0;
    for (var s = 1; s <= 11; ++s) {
      if (!(s in seen)) continue;
      var v = work[s].slice().sort(function(a, b) { return a - b; });
      var median = v.length ? v[v.length >> 1] : 0;
      var worst = v.length ? v[v.length - 1] : 0;
      rows.push({scene: s, frames: v.length + 1, median: median, worst: worst, first: seen[s]});
      if (median > worstMedian) { worstMedian = median; worstScene = s; }
      lines.push(String(s).padStart(5) + '  ' + String(v.length + 1).padStart(6) + '  ' +
                 median.toFixed(3).padStart(9) + '  ' + worst.toFixed(3).padStart(8) + '  ' +
                 seen[s].toFixed(3).padStart(8));
    }
    lines.push('', 'worst scene median: ' + worstMedian.toFixed(3) + ' ms a frame (scene ' +
               worstScene + ')');
    return {rows: rows, text: lines.join('\n')};
  }

  // Why the sound could not start, from what the browser lacks; why is the sound's own reason,
  // if it gave one.
  function noSound(why) {
    var start = 'The sound could not be started: ';
    if (!window.isSecureContext)
      return start + 'browsers let a page make sound this way only when it is opened from the ' +
             'disk, from an https:// address or from localhost, and this address is none of them.';
    if (typeof WebAssembly !== 'object')
      return start + 'this browser cannot run WebAssembly, which the sound is made with. Please ' +
             'open the page in a current browser.';
    if (!(window.AudioContext || window.webkitAudioContext))
      return start + 'this browser has no Web Audio. Please open the page in a current browser.';
    if (typeof AudioWorkletNode !== 'function' || why === 'no audio worklet')
      return start + 'this browser has no audio worklets. Please open the page in a current ' +
             'browser.';
    if (why)
      return start + 'this browser would not run the show\'s audio processor (' + why + ').';
    return start + 'this browser gave the page no Web Audio output at 44,100 Hz.';
  }

  Module.onEnded = function(status) {
    page.status = status;
    if (page.state === 'failed') return;  // already said why
    if (status !== 0) {
      if (/DOV failure/.test(stderr)) fail(noSound());
      else if (/GFX failure/.test(stderr))
        fail('The picture could not be shown: this browser gave the page no 2D canvas.');
      else fail('The show could not start.');
      return;
    }
    page.state = 'ended';
    page.timing = timingTable();
    console.log('Frame times, per scene:\n' + page.timing.text);
    canvas.style.display = scanlines.style.display = 'none';
    controls.hidden = true;
    say('The show has ended. Thank you for watching.', true);
    if (document.fullscreenElement) document.exitFullscreen().catch(function() {});
  };

  Module.onAbort = function(what) { fail('The show stopped with an error: ' + what); };

  Module.onFirstSound = function() {
    page.firstSound = performance.now() - page.clickedAt;
  };

  Module.onSoundFailed = function(why) {
    if (why) console.warn('sound: ' + why);
    fail(noSound(why));
  };

  // The sound module's bytes, carried in driftlight.js as base64 (web/embed_js.py).
  function soundModule() {
    var text = atob(Module.audioWasmBase64);
    var bytes = new Uint8Array(text.length);
    for (var i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
    return bytes;
  }

  // Made before the click, so that the sound can start at once when it comes: a context made
  // without a gesture stays suspended until the click resumes it (music/snd_web.js). The sound
  // is made by an audio processor in the browser's audio thread.
  function openAudio() {
    var Context = window.AudioContext || window.webkitAudioContext;
    try {
      var context = new Context({sampleRate: 44100, latencyHint: 'playback'});
      var analyser = context.createAnalyser();
      analyser.fftSize = 2048;
      analyser.connect(context.destination);
      var loaded = context.audioWorklet
          ? context.audioWorklet.addModule('data:text/javascript;charset=utf-8,' +
                                           encodeURIComponent(Module.audioProcessorSource))
          : Promise.reject(new Error('no audio worklet'));
      loaded.catch(function() {});  // reported when the show starts its sound
      Module.audio = page.audio = {context: context, analyser: analyser, buffers: 0,
                                   processorLoaded: loaded, wasm: soundModule()};
    } catch (e) {
      console.warn(e);
      Module.audio = page.audio = null;  // the show then says that it has no sound
    }
  }

  // The live show has prepared everything and waits at its music's start (music/snd_web.js).
  Module.onAwaitViewer = function(go) {
    awaiting = go;
    if (page.state === 'failed') return;
    if (page.gentle !== null) {
      proceed();
    } else {
      page.state = 'ready';
      hint.textContent = 'Choose a show to start it (with sound).';
    }
  };

  function proceed() {
    var go = awaiting;
    awaiting = null;
    Module._web_choose_gentle(page.gentle ? 1 : 0);
    showPicture();
    go();
  }

  function runSimulated() {
    showPicture();
    var args = ['--simulate', String(fps)];
    if (page.gentle) args.push('--gentle');
    Module.callMain(args);
  }

  function choose(gentle) {
    if (page.gentle !== null || (page.state !== 'loading' && page.state !== 'ready')) return;
    page.gentle = gentle;
    page.clickedAt = performance.now();
    buttons.forEach(function(b) { b.disabled = true; });
    if (simulated) {
      if (!runtimeReady) {
        hint.textContent = 'Loading\u2026 the show starts when ready.';
        return;
      }
      hint.textContent = 'Starting\u2026';
      page.state = 'running';
      setTimeout(runSimulated, 0);  // the start screen answers first
      return;
    }
    if (awaiting) proceed();
    else hint.textContent = 'Preparing\u2026 the show starts when ready.';
  }
  buttons[0].addEventListener('click', function() { choose(false); });
  buttons[1].addEventListener('click', function() { choose(true); });
  document.getElementById('again').addEventListener('click', function() { location.reload(); });

  // Touch: a tap on the picture toggles two controls that keys give a keyboard's viewer.
  stage.addEventListener('pointerup', function(e) {
    if (e.pointerType === 'mouse' || page.state !== 'running') return;
    if (controls.contains(e.target)) return;
    controls.hidden = !controls.hidden;
  });
  document.getElementById('fullscreen').addEventListener('click', function() {
    if (document.fullscreenElement) document.exitFullscreen().catch(function() {});
    else if (stage.requestFullscreen) stage.requestFullscreen().catch(function() {});
    controls.hidden = true;
  });
  document.getElementById('end').addEventListener('click', function() {
    Module.quit = true;  // the show ends at its next frame, as with q
    controls.hidden = true;
  });

  Module.onRuntimeInitialized = function() {
    runtimeReady = true;
    if (simulated) {
      page.state = 'ready';
      hint.textContent = 'Choose a show to start it (simulated time, no sound).';
      if (page.gentle !== null) runSimulated();
      return;
    }
    // The show prepares its tables behind the start screen, once the screen has been drawn.
    hint.textContent = 'Preparing the show\u2026';
    openAudio();
    requestAnimationFrame(function() { setTimeout(function() { Module.callMain([]); }, 0); });
  };
})();
