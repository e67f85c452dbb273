// The page's half of the web host (platform/web_host.cpp): the canvas, the display-frame wait,
// the keys. The page (web/page.js) gives the canvas as Module.canvas.
mergeInto(LibraryManager.library, {
  $webHost: {
    context: null,
    image: null,
    imageAt: 0,
    quit: false,
    listening: false,
    // A zero-delay task: setTimeout(0) is held back to 4 ms once nested, a message is not.
    channel: null,
    wakeups: [],
    soon: function(wakeUp) {
      if (!webHost.channel) {
        webHost.channel = new MessageChannel();
        webHost.channel.port1.onmessage = function() { webHost.wakeups.shift()(); };
      }
      webHost.wakeups.push(wakeUp);
      webHost.channel.port2.postMessage(0);
    },
    toggleFullscreen: function() {
      var stage = Module.stage || Module.canvas;
      if (document.fullscreenElement) {
        document.exitFullscreen();
      } else if (stage.requestFullscreen) {
        stage.requestFullscreen().catch(function() {});
      }
    },
    onKey: function(e) {
      // The start screen is the page's: the show's keys mean nothing until the show is shown.
      if (!Module.showStarted) return;
      if (e.repeat || e.ctrlKey || e.altKey || e.metaKey) return;  // the browser's own keys
      if (e.key === 'q' || e.key === 'Q' || e.key === 'Escape') {
        webHost.quit = true;
      } else if (e.key === 'f' || e.key === 'F') {
        webHost.toggleFullscreen();  // while the key event lasts, or the browser refuses
      } else {
        return;
      }
      e.preventDefault();
    },
  },

  web_canvas_open__deps: ['$webHost'],
  web_canvas_open: function(width, height) {
    var canvas = Module.canvas;
    var context = canvas && canvas.getContext && canvas.getContext('2d', {alpha: false});
    if (!context) return 0;
    canvas.width = width;
    canvas.height = height;
    webHost.context = context;
    webHost.quit = false;
    if (!webHost.listening) {
      window.addEventListener('keydown', webHost.onKey);
      webHost.listening = true;
    }
    if (Module.onVideoOpen) Module.onVideoOpen();
    return 1;
  },

  web_canvas_put__deps: ['$webHost'],
  // The show's picture at its own size; the page's style scales it (image-rendering: pixelated).
  web_canvas_put: function(rgba, width, height) {
    var canvas = Module.canvas;
    if (canvas.width !== width || canvas.height !== height) {
      canvas.width = width;
      canvas.height = height;
    }
    // One ImageData over the host's pixels in the wasm memory, made again only when the memory
    // grows (which replaces its buffer): no garbage per frame.
    var image = webHost.image;
    if (!image || image.data.buffer !== HEAPU8.buffer || webHost.imageAt !== rgba ||
        image.width !== width || image.height !== height) {
      var bytes = new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4);
      image = webHost.image = new ImageData(bytes, width, height);
      webHost.imageAt = rgba;
    }
    webHost.context.putImageData(image, 0, 0);
  },

  web_wait_frame__deps: ['$webHost'],
  web_wait_frame: function(quick) {
    Asyncify.handleSleep(function(wakeUp) {
      if (quick) webHost.soon(wakeUp);
      else requestAnimationFrame(function() { wakeUp(); });
    });
  },

  web_idle: function() {
    Asyncify.handleSleep(function(wakeUp) { setTimeout(wakeUp, 1); });
  },

  web_poll_quit__deps: ['$webHost'],
  web_poll_quit: function() {
    return webHost.quit || Module.quit ? 1 : 0;  // Module.quit: the page gave up
  },
});
