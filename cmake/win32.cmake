# Windows tree: the setup program stub and the Win32-side tests, run under Wine.
set(win32_warnings -Wall -Wextra)

add_library(kiln_win32 STATIC
  decoder/archive_read.cpp
  decoder/stream_decoder.cpp
  package/file_ops.cpp
  package/package_loader.cpp
  package/previous_installation.cpp
  package/setup_config.cpp
  startup/process_state.cpp
  wizard/message_box.cpp
  engine/entry_paths.cpp
  engine/install_variables.cpp
  engine/memory.cpp
  engine/message_argument.cpp
  decoder/archive.cpp
  engine/delayed_replacement.cpp
  engine/extraction.cpp
  engine/decoded_files.cpp
  engine/fonts.cpp
  engine/shell_link.cpp
  engine/progress.cpp
  engine/install_driver.cpp
)
target_link_libraries(kiln_win32 PUBLIC kiln_core)
# Shared-file search (VERSION), special folders (SHELL32), their item lists (ole32).
target_link_libraries(kiln_win32 PUBLIC version shell32 ole32)
target_compile_options(kiln_win32 PRIVATE ${win32_warnings})

# The stub's size is part of every setup file: no exceptions, no RTTI, no
# C++ runtime start-up beyond what mingw needs, sections garbage-collected.
# (-fdata-sections is left out: with it mingw puts zeroed globals in .data,
# where they take room in the file.)
set(stub_flags -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
  -ffunction-sections)
foreach(lib kiln_core kiln_win32)
  target_compile_options(${lib} PRIVATE ${stub_flags})
endforeach()

add_executable(kiln-stub WIN32 startup/winmain.cpp package/patch_block.cpp)
target_compile_options(kiln-stub PRIVATE ${win32_warnings} ${stub_flags})
target_link_libraries(kiln-stub PRIVATE kiln_win32)
target_link_options(kiln-stub PRIVATE -static -s -Wl,--gc-sections)
set_target_properties(kiln-stub PROPERTIES SUFFIX ".exe")

# The headless runner: installs a setup file without the wizard, for tests
# and benchmarks, over the same engine the stub runs.
add_executable(kiln-headless startup/headless_main.cpp)
target_compile_options(kiln-headless PRIVATE ${win32_warnings} ${stub_flags})
target_link_libraries(kiln-headless PRIVATE kiln_win32)
target_link_options(kiln-headless PRIVATE -static -s -Wl,--gc-sections)
set_target_properties(kiln-headless PROPERTIES SUFFIX ".exe")

# GoogleTest for mingw, from the sources Debian's googletest package installs.
set(gtest_src /usr/src/googletest/googletest)
add_library(gtest_mingw STATIC ${gtest_src}/src/gtest-all.cc ${gtest_src}/src/gtest_main.cc)
target_include_directories(gtest_mingw PUBLIC ${gtest_src}/include PRIVATE ${gtest_src})

# The decoder's own tests run here too, on the 32-bit build the stub uses.
add_executable(win32_tests
  tests/host/inflate_test.cpp
  tests/win32/install_driver_test.cpp
  tests/win32/package_loader_test.cpp
  tests/win32/setup_config_test.cpp
  tests/win32/stream_decoder_test.cpp
  tests/win32/stub_test.cpp
  # Record bodies and dialog templates come from the builder's portable code.
  builder/record_bodies.cpp
  builder/dialog_templates.cpp
  tests/win32/dialog_templates_test.cpp
  tests/host/path_text_test.cpp
  tests/win32/entry_paths_test.cpp
  tests/win32/install_variables_test.cpp
  tests/win32/memory_test.cpp
  tests/win32/archive_test.cpp
  tests/win32/delayed_replacement_test.cpp
  tests/host/delta_format_test.cpp
  tests/host/font_name_test.cpp
  tests/win32/extraction_test.cpp
  tests/win32/fonts_test.cpp
  tests/win32/shell_link_test.cpp
)
target_link_libraries(win32_tests PRIVATE kiln_win32 gtest_mingw comdlg32)
target_link_options(win32_tests PRIVATE -static)
target_compile_definitions(win32_tests PRIVATE KILN_STUB_PATH="$<TARGET_FILE:kiln-stub>"
  KILN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_dependencies(win32_tests kiln-stub)
add_test(NAME win32_tests COMMAND win32_tests --gtest_brief=1
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR})

# Libraries with version resources for the version and language tests: the
# same resource script with another file version or language each.
enable_language(RC)
foreach(variant v1 v2 v2_german)
  add_library(version_test_${variant} SHARED tests/win32/version_test_library.cpp tests/win32/version_test.rc)
  set_target_properties(version_test_${variant} PROPERTIES PREFIX "")
  add_dependencies(win32_tests version_test_${variant})
endforeach()
target_compile_definitions(version_test_v1 PRIVATE VERSION_NUMBERS=1,2,3,4 VERSION_LANGUAGE=0x0409)
target_compile_definitions(version_test_v2 PRIVATE VERSION_NUMBERS=2,0,0,1 VERSION_LANGUAGE=0x0409)
target_compile_definitions(version_test_v2_german PRIVATE VERSION_NUMBERS=2,0,0,1 VERSION_LANGUAGE=0x0407)

# The stub's decoder against zlib's 32-bit inflate under Wine: a benchmark,
# built when scripts/bench-deps has installed zlib for mingw. zlib is linked
# into nothing else.
find_library(MINGW_ZLIB NAMES libz.a)
if(MINGW_ZLIB)
  add_executable(win32_decode_bench bench/win32_decode_bench.cpp builder/deflate_transcoder.cpp)
  target_link_libraries(win32_decode_bench PRIVATE kiln_core ${MINGW_ZLIB})
  target_link_options(win32_decode_bench PRIVATE -static)
  set_target_properties(win32_decode_bench PROPERTIES SUFFIX ".exe")
endif()
