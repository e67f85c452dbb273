// The page around the show (runs before Emscripten's loader, inside driftlight.js): the "click to
// start" screen, the 4 : 3 layout of the canvas, what each frame reports, and the end.
// Everything a test or a curious viewer may want is in window.driftlight.
(function() {
  var params = new URLSearchParams(location.search);
  var simulated = params.has('simulate');
  var fps = simulated ? (parseInt(params.get('simulate'), 10) || 60) : 0;
  var stage = document.getElementById('stage');
  var canvas = document.getElementById('screen');
  var start = document.getElementById('start');
  var hint = document.getElementById('start-hint');

  var page = window.driftlight = {
    state: 'loading',   // loading, ready, running, ended, failed
    simulated: simulated,
    fps: fps,
    frames: [],         // {index, time, position, scene, work, hash, buffers}
    sound: [],          // simulated runs: {buffers, hash} of the sound mixed so far
    status: null,
    message: '',
    timing: null,       // per scene: {scene, frames, median, worst, first} in ms
    audio: null,
  };
  var stderr = '';
  var seen = {};      // first frame of each scene (it also pays for the scene's set-up)
  var work = {};      // scene -> the other frames' times, ms

  Module.canvas = canvas;
  Module.stage = stage;
  Module.noInitialRun = true;
  Module.printErr = function(text) { stderr += text + '\n'; console.warn(text); };

  function say(text) {
    document.getElementById('message-text').textContent = text;
    document.getElementById('message').hidden = false;
    page.message = text;
  }

  function fail(text) {
    start.hidden = true;
    canvas.style.display = 'none';
    page.state = 'failed';
    say(text);
  }

  function layout() {
    if (page.state !== 'running' && page.state !== 'ended') return;
    var r = Module._web_viewport(stage.clientWidth, stage.clientHeight) >> 2;
    canvas.style.left = HEAP32[r] + 'px';
    canvas.style.top = HEAP32[r + 1] + 'px';
    canvas.style.width = HEAP32[r + 2] + 'px';
    canvas.style.height = HEAP32[r + 3] + 'px';
  }
  window.addEventListener('resize', layout);
  document.addEventListener('fullscreenchange', function() {
    page.fullscreen = !!document.fullscreenElement;
    layout();
  });

  Module.onVideoOpen = function() {
    canvas.style.display = 'block';
    layout();
  };

  Module.onFrame = function(index, time, position, scene, ms, hi, lo) {
    var hash = '';
    if (simulated) hash = (hi ? hi.toString(16) + lo.toString(16).padStart(8, '0') : lo.toString(16));
    // Live, the device buffers mixed so far: the position must belong to their last tick.
    var buffers = Module.audio ? Module.audio.buffers : 0;
    page.frames.push({index: index, time: time, position: position, scene: scene, work: ms,
                      hash: hash, buffers: buffers});
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

  Module.onEnded = function(status) {
    page.status = status;
    if (status !== 0) {
      if (/DOV failure/.test(stderr)) {
        fail('The sound could not be started: this browser gave the page no Web Audio ' +
             'output at 44,100 Hz.');
      } else if (/GFX failure/.test(stderr)) {
        fail('The picture could not be shown: this browser gave the page no 2D canvas.');
      } else {
        fail('The show could not start.');
      }
      return;
    }
    page.state = 'ended';
    page.timing = timingTable();
    canvas.style.display = 'none';
    say('The show has ended. Reload the page to see it again.');
    document.getElementById('timing').textContent = page.timing.text;
    if (document.fullscreenElement) document.exitFullscreen().catch(function() {});
  };

  Module.onAbort = function(what) { fail('The show stopped with an error: ' + what); };

  var ready = false, clicked = false;
  function begin() {
    if (page.state !== 'ready' && page.state !== 'loading') return;
    if (!ready) { clicked = true; hint.textContent = 'Loading\u2026 the show starts when ready.'; return; }
    start.hidden = true;
    page.state = 'running';
    var args = [];
    if (simulated) {
      args = ['--simulate', String(fps)];
    } else {
      // Browsers start sound only in answer to a gesture: made here, in the click.
      var Context = window.AudioContext || window.webkitAudioContext;
      try {
        var context = new Context({sampleRate: 44100, latencyHint: 'playback'});
        var analyser = context.createAnalyser();
        analyser.fftSize = 2048;
        analyser.connect(context.destination);
        Module.audio = page.audio = {context: context, analyser: analyser, buffers: 0};
        context.resume();
      } catch (e) {
        console.warn(e);
        Module.audio = null;  // the show then reports that it has no sound device
      }
    }
    Module.callMain(args);
  }
  start.addEventListener('click', begin);
  start.addEventListener('keydown', function(e) {
    if (e.key === 'Enter' || e.key === ' ') begin();
  });
  Module.onRuntimeInitialized = function() {
    ready = true;
    page.state = 'ready';
    hint.textContent = simulated ? 'Click to start (simulated time, no sound).'
                                 : 'Click to start (with sound).';
    if (clicked) begin();
  };
})();
