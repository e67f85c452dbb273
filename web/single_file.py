#!/usr/bin/env python3
# web/single_file.py INDEX_HTML DRIFTLIGHT_JS OUT: the whole page as one HTML file, the program
# (with its WebAssembly, the sound module and the audio processor inside) carried in the page
# itself, so that it opens from the disk, from any static host and from a plain file server.
import os
import sys

index, program, out = sys.argv[1:4]
with open(index, encoding='utf-8') as f:
    page = f.read()
with open(program, encoding='utf-8') as f:
    js = f.read()
# Inside a script element only "</script" can end it early; "<\/" means "</" in JavaScript
# strings and regular expressions, and the program's code has it nowhere else.
js = js.replace('</script', '<\\/script').replace('</SCRIPT', '<\\/SCRIPT')
carrier = '<script type="text/plain" id="program">' + js + '</script>\n'
at = page.index('<script>')
with open(out + '.part', 'w', encoding='utf-8') as f:
    f.write(page[:at] + carrier + page[at:])
os.replace(out + '.part', out)
