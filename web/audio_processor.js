// The show's sound in the browser's audio rendering thread, away from the page's thread and its
// busy frames. The page loads this script into its AudioContext (from a data: URL, which a page
// opened from the disk may load) and posts the sound module's bytes (web/audio.cpp) to the node
// ("load"), which sets the player up in silence; from "start" on, every 2048 samples played the
// processor mixes the next device buffer and posts back to the page the ticks it mixed (where
// each begins, in samples from the first, and its position) and, with the first, the context's
// frame at which the first sample is played: the page maps what is heard to a position by them.
class DriftlightAudio extends AudioWorkletProcessor {
  constructor() {
    super();
    this.sound = null;     // the instantiated module's exports
    this.samples = null;   // the buffer being played, a view into the module's memory
    this.at = 2048;        // next sample of it to play
    this.buffers = 0;      // mixed since the start
    this.stopped = false;
    this.playing = false;  // "start" came
    this.port.onmessage = (e) => this.onMessage(e.data);
  }

  onMessage(m) {
    if (m.type === 'stop') {
      this.stopped = true;
      return;
    }
    if (m.type === 'start') {
      this.playing = true;
      return;
    }
    if (m.type !== 'load') return;
    WebAssembly.compile(m.wasm).then((module) => {
      // The module needs nothing from outside; whatever its C library names anyway gets a stub.
      const imports = {};
      for (const i of WebAssembly.Module.imports(module)) {
        if (i.kind !== 'function') continue;
        (imports[i.module] = imports[i.module] || {})[i.name] = () => 0;
      }
      return WebAssembly.instantiate(module, imports);
    }).then((instance) => {
      const sound = instance.exports;
      if (sound._initialize) sound._initialize();
      if (!sound.audio_begin(m.tickRate)) throw new Error('the soundtrack did not load');
      this.sound = sound;
      this.port.postMessage({type: 'ready'});
    }).catch((e) => {
      this.port.postMessage({type: 'failed', message: String(e && e.message || e)});
    });
  }

  process(inputs, outputs) {
    if (this.stopped) return false;
    const out = outputs[0][0];
    if (!this.sound || !this.playing) return true;  // silence until then
    for (let i = 0; i < out.length; ++i) {
      if (this.at === 2048) {
        const p = this.sound.audio_fill();
        this.samples = new Int16Array(this.sound.memory.buffer, p, 2048);
        this.at = 0;
        this.buffers += 1;
        const t = this.sound.audio_ticks();
        const n = new Int32Array(this.sound.memory.buffer, t, 1)[0];
        const ticks = Array.from(new Int32Array(this.sound.memory.buffer, t + 4, 2 * n));
        const m = {type: 'buffer', buffers: this.buffers, position: this.sound.audio_position(),
                   ticks: ticks};
        // currentFrame: the context's frame of this render quantum's first sample.
        if (this.buffers === 1) m.startFrame = currentFrame + i;
        this.port.postMessage(m);
      }
      out[i] = this.samples[this.at++] / 32768;
    }
    return true;
  }
}

registerProcessor('driftlight-audio', DriftlightAudio);
