# The language and the arithmetic, the same for the native program and the web page.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
# Results must not depend on the compiler's mood: no contraction of a*b+c into fma, no fast-math.
add_compile_options(-Wall -Wextra -ffp-contract=off -fno-fast-math)
