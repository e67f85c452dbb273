# The show's content and how each file is embedded; assets/CMakeLists.txt (the native program) and
# web/CMakeLists.txt (the page) each define embed_asset(FILE NAME OPTIONS...) and include this.
#   soundtrack.mod  writable (the loader converts its patterns in place), one spare zero byte after
#                   it so that a loop ending on the last byte can read one past it
#   scene.3ds       followed by eight zero bytes: a chunk scan that runs off the end reads an
#                   empty chunk header and stops
#   *.pgm           pixel bytes only
embed_asset(soundtrack.mod soundtrack_mod --writable --pad 1)
embed_asset(scene.3ds scene_3ds --pad 8)
embed_asset(portrait.pgm portrait --pgm --fixed 65536)
embed_asset(portrait_b.pgm portrait_b --pgm --fixed 65536)
embed_asset(strips.pgm text_strips --pgm --fixed 36864)
embed_asset(start_screen.pgm start_screen --pgm --fixed 76800)
