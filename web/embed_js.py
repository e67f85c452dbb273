#!/usr/bin/env python3
# web/embed_js.py OUT SOUND_WASM PROCESSOR_JS: the page's sound as a script the page runs before
# the program (Emscripten's --pre-js): the audio processor's source and the sound module's bytes
# (base64), so that neither has to be fetched (a page opened from the disk may fetch nothing).
import base64
import json
import sys

out, wasm, processor = sys.argv[1:4]
with open(wasm, 'rb') as f:
    sound = base64.b64encode(f.read()).decode('ascii')
with open(processor, encoding='utf-8') as f:
    source = f.read()
with open(out, 'w', encoding='utf-8') as f:
    f.write('// Made by web/embed_js.py: the sound module and its audio processor.\n')
    f.write('Module.audioProcessorSource = %s;\n' % json.dumps(source))
    f.write('Module.audioWasmBase64 = "%s";\n' % sound)
