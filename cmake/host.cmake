# Native tree: unit tests, fuzz targets, benchmarks and the builder CLI.
find_package(GTest REQUIRED)
find_package(benchmark REQUIRED)
find_package(ZLIB REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(DEFLATE REQUIRED IMPORTED_TARGET libdeflate)
pkg_check_modules(TOMLPP REQUIRED IMPORTED_TARGET tomlplusplus)
pkg_check_modules(DIVSUFSORT REQUIRED IMPORTED_TARGET libdivsufsort)
find_library(ZOPFLI_LIB zopfli REQUIRED)
find_package(Threads REQUIRED)
pkg_check_modules(LZMA REQUIRED IMPORTED_TARGET liblzma)
include(GoogleTest)

# The builder, linked against Debian's libraries.
set(kiln_builder_core kiln_core)
set(kiln_deflate_lib PkgConfig::DEFLATE)
set(kiln_zopfli_lib ${ZOPFLI_LIB})
set(kiln_divsufsort_lib PkgConfig::DIVSUFSORT)
set(kiln_lzma_lib PkgConfig::LZMA)
set(kiln_toml_lib PkgConfig::TOMLPP)
include(cmake/builder.cmake)

add_executable(host_tests
  tests/host/builder_defaults_test.cpp
  tests/host/inflate_test.cpp
  tests/host/manifest_test.cpp
  tests/host/package_builder_test.cpp
  tests/host/package_validate_test.cpp
  tests/host/stream_encoder_test.cpp
  tests/host/test_corpus.cpp
  tests/host/path_text_test.cpp
  tests/host/safe_format_test.cpp
  tests/host/delta_format_test.cpp
  tests/host/font_name_test.cpp
  tests/host/package_fixtures.cpp
  tests/host/delta_encoder_test.cpp
  tests/host/delta_package_test.cpp
  tests/host/volume_test.cpp
  tests/host/command_line_test.cpp
  tests/host/disk_figures_test.cpp
  tests/host/hand_made_setups.cpp
  tests/host/hand_made_setup_test.cpp
  tests/host/graphics_geometry_test.cpp
  tests/host/uninstaller_test.cpp
  tests/host/checksum_test.cpp
  tests/host/install_log_format_test.cpp
  tests/host/extract_paths_test.cpp
  tests/host/target_rules_test.cpp
  tests/host/code_page_test.cpp
  tests/host/languages_test.cpp
  tests/host/setup_languages_test.cpp
  tests/host/manifest_keys_test.cpp
  tests/host/pattern_search_test.cpp
  tests/host/small_inflate_test.cpp
  tests/host/stub_packer_test.cpp
  tests/host/stub_resources_test.cpp
  tests/host/integrity_test.cpp
  tests/host/lzma_decoder_test.cpp
  tests/host/solid_archive_test.cpp
  tests/host/name_pattern_test.cpp
)
target_link_libraries(host_tests PRIVATE kiln_builder PkgConfig::DEFLATE PkgConfig::LZMA GTest::gtest_main)
target_compile_definitions(host_tests PRIVATE KILN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
gtest_discover_tests(host_tests DISCOVERY_TIMEOUT 60)

# Hand-made setup files for the installs under Wine (tests/headless_install.sh).
add_executable(hand_made_setups tests/host/hand_made_setups_main.cpp tests/host/hand_made_setups.cpp)
target_link_libraries(hand_made_setups PRIVATE kiln_builder)

add_test(NAME cli_round_trip
  COMMAND ${CMAKE_SOURCE_DIR}/tests/cli_round_trip.sh $<TARGET_FILE:kiln>)
add_test(NAME cli_checks
  COMMAND ${CMAKE_SOURCE_DIR}/tests/cli_checks.sh $<TARGET_FILE:kiln>)
add_test(NAME cli_extract
  COMMAND ${CMAKE_SOURCE_DIR}/tests/cli_extract.sh $<TARGET_FILE:kiln>)
add_test(NAME cli_architecture
  COMMAND ${CMAKE_SOURCE_DIR}/tests/cli_architecture.sh $<TARGET_FILE:kiln>
    ${CMAKE_SOURCE_DIR}/build/win32 ${CMAKE_SOURCE_DIR}/build/win64)

add_executable(decode_bench bench/decode_bench.cpp tests/host/test_corpus.cpp)
target_link_libraries(decode_bench PRIVATE kiln_encoder benchmark::benchmark ZLIB::ZLIB PkgConfig::DEFLATE)
target_compile_definitions(decode_bench PRIVATE KILN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

add_executable(lzma_bench bench/lzma_bench.cpp tests/host/test_corpus.cpp)
target_link_libraries(lzma_bench PRIVATE kiln_core benchmark::benchmark PkgConfig::LZMA)
target_compile_definitions(lzma_bench PRIVATE KILN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

# libFuzzer targets need clang; they rebuild the portable sources with sanitizers.
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set(fuzz_flags -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)
  foreach(target inflate_fuzz round_trip_fuzz package_fuzz delta_fuzz font_name_fuzz uninstall_log_fuzz install_log_fuzz small_inflate_fuzz lzma_fuzz)
    add_executable(${target} fuzz/${target}.cpp decoder/decoder_memory.cpp decoder/huffman_table.cpp decoder/inflate.cpp)
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
    target_compile_options(${target} PRIVATE ${fuzz_flags})
    target_link_options(${target} PRIVATE ${fuzz_flags})
  endforeach()
  target_sources(round_trip_fuzz PRIVATE builder/archive/deflate_transcoder.cpp builder/archive/stream_encoder.cpp)
  target_link_libraries(round_trip_fuzz PRIVATE PkgConfig::DEFLATE ${ZOPFLI_LIB})
  target_sources(small_inflate_fuzz PRIVATE decoder/small_inflate.cpp builder/archive/deflate_transcoder.cpp
    builder/archive/stream_encoder.cpp)
  target_link_libraries(small_inflate_fuzz PRIVATE PkgConfig::DEFLATE ${ZOPFLI_LIB})
  target_sources(package_fuzz PRIVATE package/package_validate.cpp package/safe_format.cpp package/string_groups.cpp)
  target_sources(lzma_fuzz PRIVATE decoder/lzma_decoder.cpp)
  target_link_libraries(lzma_fuzz PRIVATE PkgConfig::LZMA)
  target_sources(delta_fuzz PRIVATE engine/delta_format.cpp)
  target_sources(font_name_fuzz PRIVATE engine/font_name.cpp)
  target_sources(uninstall_log_fuzz PRIVATE engine/install_log_format.cpp engine/uninstaller_data.cpp
    engine/removal_targets.cpp engine/path_text.cpp)
  target_sources(install_log_fuzz PRIVATE engine/install_log_format.cpp engine/path_text.cpp)
  # Setup files read back by kiln: the reader, the package checks, every
  # file's decoding and the extraction paths, all built with the sanitizers.
  get_target_property(core_sources kiln_core SOURCES)
  get_target_property(encoder_sources kiln_encoder SOURCES)
  get_target_property(builder_sources kiln_builder SOURCES)
  add_executable(setup_file_fuzz fuzz/setup_file_fuzz.cpp ${core_sources} ${encoder_sources} ${builder_sources})
  target_include_directories(setup_file_fuzz PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(setup_file_fuzz PRIVATE ${fuzz_flags})
  target_link_options(setup_file_fuzz PRIVATE ${fuzz_flags})
  target_compile_definitions(setup_file_fuzz PRIVATE KILN_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  target_link_libraries(setup_file_fuzz PRIVATE PkgConfig::DEFLATE ${ZOPFLI_LIB} PkgConfig::TOMLPP
    PkgConfig::DIVSUFSORT PkgConfig::LZMA Threads::Threads)
endif()

# The install tree, the man page and the Debian package.
include(cmake/install.cmake)
