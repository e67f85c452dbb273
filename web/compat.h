// Included ahead of every source of the page: what the C++20 library of the desktop build has
// and Emscripten 3.1's libc++ does not yet.
#pragma once
#ifdef __cplusplus
#include <bit>
#include <type_traits>
#ifndef __cpp_lib_bit_cast
namespace std {
template <class To, class From>
  requires(sizeof(To) == sizeof(From) && is_trivially_copyable_v<To> &&
           is_trivially_copyable_v<From>)
constexpr To bit_cast(const From& from) noexcept {
  return __builtin_bit_cast(To, from);
}
}  // namespace std
#endif
#endif
