# Compiler flags shared by every target: warnings, and the sanitizer builds that CI runs.
add_compile_options(-Wall -Wextra -Wno-unused-parameter -Wno-missing-field-initializers)

if(KV_SANITIZE AND KV_TSAN)
  message(FATAL_ERROR "KV_SANITIZE and KV_TSAN cannot be combined")
endif()

if(KV_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(KV_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
if(KV_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "KV_FUZZ needs clang")
  endif()
  # Libraries carry the fuzzer's coverage hooks; only the targets link its main.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
