if(KROGW_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(KROGW_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT KROGW_SANITIZE STREQUAL "")
  message(FATAL_ERROR "KROGW_SANITIZE must be empty, 'address' or 'thread'")
endif()
if(NOT KROGW_SANITIZE STREQUAL "")
  # Sanitizer runtimes need far more stack than the driver's threads get in production.
  add_compile_definitions(KROGW_SANITIZER_BUILD=1)
endif()

if(KROGW_FUZZ)
  # Coverage feedback from all of our code; fuzz targets add the fuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link
    -fsanitize-coverage-ignorelist=${CMAKE_SOURCE_DIR}/fuzz/coverage_ignorelist.txt)
endif()
