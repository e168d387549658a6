# The BLAKE3 C library, compiled from the sources Debian ships in librust-blake3-dev:
# portable code, the runtime dispatcher and the x86-64 SIMD assembly for Unix.
file(GLOB BLAKE3_DIRS /usr/share/cargo/registry/blake3-*/c)
list(SORT BLAKE3_DIRS)
list(POP_BACK BLAKE3_DIRS BLAKE3_DIR)
if(NOT BLAKE3_DIR OR NOT EXISTS ${BLAKE3_DIR}/blake3.h)
  message(FATAL_ERROR "BLAKE3 C sources not found; run scripts/install-deps.sh")
endif()
set(BLAKE3_SOURCES ${BLAKE3_DIR}/blake3.c ${BLAKE3_DIR}/blake3_dispatch.c ${BLAKE3_DIR}/blake3_portable.c)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64")
  list(APPEND BLAKE3_SOURCES
       ${BLAKE3_DIR}/blake3_sse2_x86-64_unix.S ${BLAKE3_DIR}/blake3_sse41_x86-64_unix.S
       ${BLAKE3_DIR}/blake3_avx2_x86-64_unix.S ${BLAKE3_DIR}/blake3_avx512_x86-64_unix.S)
  set(BLAKE3_DEFS)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "aarch64|arm64")
  list(APPEND BLAKE3_SOURCES ${BLAKE3_DIR}/blake3_neon.c)
  set(BLAKE3_DEFS BLAKE3_USE_NEON=1)
else()
  set(BLAKE3_DEFS BLAKE3_NO_SSE2 BLAKE3_NO_SSE41 BLAKE3_NO_AVX2 BLAKE3_NO_AVX512)
endif()
add_library(blake3 STATIC ${BLAKE3_SOURCES})
target_include_directories(blake3 SYSTEM PUBLIC ${BLAKE3_DIR})
target_compile_definitions(blake3 PRIVATE ${BLAKE3_DEFS})
target_compile_options(blake3 PRIVATE $<$<COMPILE_LANGUAGE:C>:-O3>)
