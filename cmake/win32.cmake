# Windows tree: the setup program stub and the Win32-side tests, run under Wine.
enable_language(RC)
set(win32_warnings -Wall -Wextra)

add_library(kiln_win32 STATIC
  decoder/archive_read.cpp
  decoder/stream_decoder.cpp
  package/file_ops.cpp
  package/package_loader.cpp
  package/integrity_check.cpp
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
  engine/solid_files.cpp
  engine/fonts.cpp
  engine/shell_link.cpp
  engine/progress.cpp
  engine/install_driver.cpp
  engine/version_library.cpp
  engine/post_install.cpp
  engine/open_document.cpp
  startup/page_loop.cpp
  startup/program_start.cpp
  startup/relaunch.cpp
  startup/library_search.cpp
  startup/quiet_install.cpp
  wizard/page_runner.cpp
  wizard/welcome_page.cpp
  wizard/information_page.cpp
  wizard/setup_type_page.cpp
  wizard/destination_page.cpp
  wizard/disk_check.cpp
  wizard/folder_browser.cpp
  wizard/ready_page.cpp
  wizard/progress_page.cpp
  wizard/finish_page.cpp
  wizard/restart.cpp
  graphics/background_window.cpp
  graphics/dialog_graphics.cpp
  graphics/picture.cpp
  graphics/progress_bar.cpp
  engine/removal.cpp
  engine/uninstall_claim.cpp
  engine/shell_folders.cpp
  engine/install_log.cpp
  engine/program_group.cpp
  engine/uninstall_entry.cpp
  engine/system_entries.cpp
  engine/programs.cpp
)
target_link_libraries(kiln_win32 PUBLIC kiln_core)
# Special folders (SHELL32), their item lists and OLE (ole32), the folder
# browser (comdlg32), drawing (GDI32). The version library is loaded at run
# time from the system folder (engine/version_library.h), never linked.
target_link_libraries(kiln_win32 PUBLIC shell32 ole32 comdlg32 gdi32 advapi32)
target_compile_options(kiln_win32 PRIVATE ${win32_warnings})

# The stub's size is part of every setup file: no exceptions, no RTTI, no
# C++ runtime start-up beyond what mingw needs, sections garbage-collected.
# (-fdata-sections is left out: with it mingw puts zeroed globals in .data,
# where they take room in the file.)
set(stub_flags -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
  -ffunction-sections)
# mingw keeps a frame pointer in every function unless told otherwise: some
# 450 bytes of the stub's code.
list(APPEND stub_flags -fomit-frame-pointer)
# 32-bit Windows keeps the stack 4-byte aligned, and the program uses no
# SSE: aligning it to 16 in every function that calls another costs code.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  list(APPEND stub_flags -mpreferred-stack-boundary=2)
endif()
foreach(lib kiln_core kiln_win32)
  target_compile_options(${lib} PRIVATE ${stub_flags})
endforeach()
# Outside the decoders (kiln_core), whose inner loops set the install's
# speed, calls to small functions cost less room than copies of them.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_compile_options(kiln_win32 PRIVATE -fno-inline-small-functions)
endif()

# The setup program as kiln build puts it first: the program as linked, with
# nothing decoded or made executable at run time. Its entry is
# programs/setup/stub_entry.cpp; the x86 linker names stdcall symbols decorated.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(stub_link_options -Wl,--entry=_StubEntry@0 -Wl,-T,${CMAKE_SOURCE_DIR}/cmake/discard_unwind.ld)
else()
  set(stub_link_options -Wl,--entry=StubEntry)
endif()
set(stub_sources programs/setup/stub_entry.cpp programs/setup/winmain.cpp package/patch_block.cpp programs/setup/stub.rc)
add_executable(kiln-stub WIN32 ${stub_sources})
target_compile_options(kiln-stub PRIVATE ${win32_warnings} ${stub_flags})
target_link_libraries(kiln-stub PRIVATE kiln_win32)
target_link_options(kiln-stub PRIVATE -static -s -Wl,--gc-sections -nostartfiles ${stub_link_options})
set_target_properties(kiln-stub PROPERTIES SUFFIX ".exe")
set_property(TARGET kiln-stub APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/cmake/discard_unwind.ld)

# The 32-bit program can also ship packed, for authors who ask for it
# (kiln build --pack-stub, builder/program/stub_packer.h): kiln-stub-packable.exe
# carries the unpacking entry and a .kiln section for the packer;
# kiln-stub-rebased.exe is it packed for another image base, so that the
# tests see it relocate itself as it unpacks.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  add_executable(kiln-stub-packable WIN32 ${stub_sources} programs/setup/unpack_entry.cpp)
  target_compile_options(kiln-stub-packable PRIVATE ${win32_warnings} ${stub_flags})
  target_compile_definitions(kiln-stub-packable PRIVATE KILN_PACKABLE_STUB)
  target_link_libraries(kiln-stub-packable PRIVATE kiln_win32)
  target_link_options(kiln-stub-packable PRIVATE -static -s -Wl,--gc-sections -nostartfiles
    -Wl,--entry=_UnpackEntry@0 -Wl,-T,${CMAKE_SOURCE_DIR}/cmake/stub_sections.ld)
  set_target_properties(kiln-stub-packable PROPERTIES SUFFIX ".exe")
  set(KILN_HOST_KILN ${CMAKE_SOURCE_DIR}/build/host/kiln CACHE FILEPATH "The native kiln, which packs the setup program")
  add_custom_command(TARGET kiln-stub-packable POST_BUILD
    COMMAND ${KILN_HOST_KILN} pack-stub kiln-stub-packable.exe -o kiln-stub-rebased.exe --image-base 0x10000000
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR} VERBATIM)
  set_property(TARGET kiln-stub-packable APPEND PROPERTY LINK_DEPENDS
    ${CMAKE_SOURCE_DIR}/cmake/stub_sections.ld ${KILN_HOST_KILN})
endif()

# The headless runner: installs a setup file without the wizard, for tests
# and benchmarks, over the same engine the stub runs.
add_executable(kiln-headless programs/headless/headless_main.cpp)
target_compile_options(kiln-headless PRIVATE ${win32_warnings} ${stub_flags})
target_link_libraries(kiln-headless PRIVATE kiln_win32)
target_link_options(kiln-headless PRIVATE -static -s -Wl,--gc-sections)
set_target_properties(kiln-headless PROPERTIES SUFFIX ".exe")

# The uninstaller that kiln build puts into packages: kept under 32 KiB by
# the same means as the stub.
add_executable(kiln-uninstall WIN32 programs/uninstall/uninstall_main.cpp programs/uninstall/uninstall.rc)
target_compile_options(kiln-uninstall PRIVATE ${win32_warnings} ${stub_flags})
target_link_libraries(kiln-uninstall PRIVATE kiln_win32)
target_link_options(kiln-uninstall PRIVATE -static -s -Wl,--gc-sections)
set_target_properties(kiln-uninstall PROPERTIES SUFFIX ".exe")

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
  builder/assembly/record_bodies.cpp
  builder/manifest/dialog_templates.cpp
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
  builder/manifest/default_texts.cpp
  tests/win32/wizard_test.cpp
  tests/win32/text_fit_test.cpp
  tests/win32/graphics_test.cpp
  tests/win32/removal_test.cpp
  tests/win32/uninstaller_program_test.cpp
  builder/program/uninstaller_program.cpp
  tests/win32/post_install_test.cpp
  tests/win32/programs_test.cpp
)
target_link_libraries(win32_tests PRIVATE kiln_win32 gtest_mingw version)
target_link_options(win32_tests PRIVATE -static)
target_compile_definitions(win32_tests PRIVATE KILN_STUB_PATH="$<TARGET_FILE:kiln-stub>"
  KILN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
# The uninstaller's tests: the program as built, and a library that notes
# its registration calls.
add_library(unregister_library SHARED tests/win32/unregister_library.cpp)
set_target_properties(unregister_library PROPERTIES PREFIX "")
target_link_options(unregister_library PRIVATE -static -Wl,--kill-at)
target_compile_definitions(win32_tests PRIVATE KILN_UNINSTALLER_PATH="$<TARGET_FILE:kiln-uninstall>"
  KILN_UNREGISTER_LIBRARY="$<TARGET_FILE:unregister_library>")
add_dependencies(win32_tests kiln-uninstall unregister_library)
# Answers message boxes for the end-to-end scripts.
add_executable(kiln_test_answer tests/win32/answer_tool.cpp)
set_target_properties(kiln_test_answer PROPERTIES SUFFIX ".exe")
target_link_options(kiln_test_answer PRIVATE -static)
target_include_directories(kiln_test_answer PRIVATE ${CMAKE_SOURCE_DIR})
add_dependencies(win32_tests kiln-stub)
if(TARGET kiln-stub-packable)
  target_compile_definitions(win32_tests PRIVATE KILN_PACKED_STUB_PATH="${CMAKE_BINARY_DIR}/kiln-stub-rebased.exe")
  add_dependencies(win32_tests kiln-stub-packable)
endif()
add_test(NAME win32_tests COMMAND win32_tests --gtest_brief=1
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR})

# Libraries with version resources for the version and language tests: the
# same resource script with another file version or language each.
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
  add_executable(win32_decode_bench bench/win32_decode_bench.cpp builder/archive/deflate_transcoder.cpp)
  target_link_libraries(win32_decode_bench PRIVATE kiln_core ${MINGW_ZLIB})
  target_link_options(win32_decode_bench PRIVATE -static)
  set_target_properties(win32_decode_bench PROPERTIES SUFFIX ".exe")
endif()

# The GUI driver's own fixture: a dialog whose exit code is what was typed.
add_executable(gui_fixture_dialog WIN32 tests/gui/fixture_dialog.cpp tests/gui/fixture_dialog.rc)
target_compile_options(gui_fixture_dialog PRIVATE ${win32_warnings})
target_link_options(gui_fixture_dialog PRIVATE -static -s)
set_target_properties(gui_fixture_dialog PROPERTIES SUFFIX ".exe")
# The driver's eyes for windows inside windows, which X does not see.
add_executable(gui_window_probe tests/gui/window_probe.cpp)
target_compile_options(gui_window_probe PRIVATE ${win32_warnings})
target_link_options(gui_window_probe PRIVATE -static -s)
set_target_properties(gui_window_probe PROPERTIES SUFFIX ".exe")
# Reads a setup file's version resource through the version library, as
# Explorer does (tests/setup_identity.sh).
add_executable(kiln_version_query tests/win32/version_query.cpp)
target_link_libraries(kiln_version_query PRIVATE version)
target_compile_options(kiln_version_query PRIVATE ${win32_warnings})
target_link_options(kiln_version_query PRIVATE -static -s)
set_target_properties(kiln_version_query PROPERTIES SUFFIX ".exe")

# Programs and libraries the post-install tests install or start: a program
# that records how it was started, and a self-registering library with a
# library of its own beside it.
add_executable(kiln_test_recorder WIN32 tests/win32/recorder.cpp)
set_target_properties(kiln_test_recorder PROPERTIES SUFFIX ".exe")
add_library(self_register_dependency SHARED tests/win32/self_register_dependency.cpp)
add_library(self_register_library SHARED tests/win32/self_register_library.cpp)
target_link_libraries(self_register_library PRIVATE self_register_dependency)
foreach(target kiln_test_recorder self_register_dependency self_register_library)
  target_compile_options(${target} PRIVATE ${win32_warnings} ${stub_flags})
  target_link_options(${target} PRIVATE -static -s)
  add_dependencies(win32_tests ${target})
endforeach()
set_target_properties(self_register_dependency self_register_library PROPERTIES PREFIX "")
target_link_options(self_register_library PRIVATE -Wl,--kill-at)  # exported as DllRegisterServer, undecorated
target_compile_definitions(win32_tests PRIVATE
  KILN_RECORDER_PATH="$<TARGET_FILE:kiln_test_recorder>"
  KILN_SELF_REGISTER_PATH="$<TARGET_FILE:self_register_library>"
  KILN_SELF_REGISTER_DEPENDENCY_PATH="$<TARGET_FILE:self_register_dependency>")

# A library that leaves a marker when loaded, planted beside setup files by
# the GUI tests to prove they are never loaded from there.
add_library(planted_library SHARED tests/gui/planted_library.cpp)
set_target_properties(planted_library PROPERTIES PREFIX "")
target_link_options(planted_library PRIVATE -static -s)
add_executable(same_imports WIN32 tests/gui/same_imports.cpp tests/gui/same_imports.rc)
target_link_libraries(same_imports PRIVATE shell32 ole32 comdlg32 gdi32 advapi32)
target_link_options(same_imports PRIVATE -static -s)
set_target_properties(same_imports PROPERTIES SUFFIX ".exe")

# kiln.exe: the builder for 64-bit Windows, linked statically against the
# libraries scripts/mingw-deps builds from Debian's sources. Its format code
# is built again without the setup program's size flags.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL x86_64)
  set(KILN_MINGW_DEPS ${CMAKE_SOURCE_DIR}/build/mingw-deps/x86_64 CACHE PATH
    "The mingw builds of kiln's libraries (scripts/mingw-deps)")
  if(NOT EXISTS ${KILN_MINGW_DEPS}/lib/liblzma.a)
    message(FATAL_ERROR "kiln.exe needs its libraries in ${KILN_MINGW_DEPS}: run scripts/mingw-deps")
  endif()
  get_target_property(core_sources kiln_core SOURCES)
  add_library(kiln_builder_core STATIC ${core_sources})
  target_include_directories(kiln_builder_core PUBLIC ${CMAKE_SOURCE_DIR} ${KILN_MINGW_DEPS}/include)
  target_compile_definitions(kiln_builder_core PUBLIC LZMA_API_STATIC TOML_HEADER_ONLY=1)
  target_compile_options(kiln_builder_core PRIVATE -Wall -Wextra)
  set(kiln_builder_core kiln_builder_core)
  foreach(lib deflate zopfli divsufsort lzma)
    set(kiln_${lib}_lib ${KILN_MINGW_DEPS}/lib/lib${lib}.a)
  endforeach()
  set(kiln_toml_lib "")
  find_package(Threads REQUIRED)
  include(cmake/builder.cmake)
  # One file to copy: the C++ runtime and winpthreads linked in.
  target_link_options(kiln PRIVATE -static -s)
  target_sources(kiln PRIVATE builder/commands/kiln.rc)
  set_source_files_properties(builder/commands/kiln.rc PROPERTIES COMPILE_DEFINITIONS
    "KILN_VERSION_TEXT=${PROJECT_VERSION};KILN_VERSION_NUMBERS=${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
endif()
