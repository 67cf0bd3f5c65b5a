# The builder kiln: the encoders, the package builder and the command line.
# Built natively (cmake/host.cmake) and as kiln.exe for 64-bit Windows
# (cmake/win32.cmake); each tree names the libraries it links in
# kiln_builder_core and kiln_{deflate,zopfli,divsufsort,lzma,toml}_lib.
add_library(kiln_encoder STATIC
  builder/archive/deflate_transcoder.cpp
  builder/archive/stream_encoder.cpp
)
target_link_libraries(kiln_encoder PUBLIC ${kiln_builder_core} PRIVATE ${kiln_deflate_lib} ${kiln_zopfli_lib})
target_compile_options(kiln_encoder PRIVATE -Wall -Wextra)

# The translations of languages/, built into kiln as one generated source.
file(GLOB kiln_language_files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/languages/*.toml)
list(SORT kiln_language_files)
string(REPLACE ";" "|" kiln_language_list "${kiln_language_files}")  # one shell word
set(kiln_language_source ${CMAKE_BINARY_DIR}/generated/language_files.cpp)
add_custom_command(OUTPUT ${kiln_language_source}
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${kiln_language_source} "-DFILES=${kiln_language_list}"
    -P ${CMAKE_SOURCE_DIR}/cmake/embed_languages.cmake
  DEPENDS ${kiln_language_files} ${CMAKE_SOURCE_DIR}/cmake/embed_languages.cmake
  COMMENT "Building the translations into kiln" VERBATIM)

# Windows' double-byte code pages 932 and 936, as tables made from Python's codecs.
set(kiln_double_byte_source ${CMAKE_BINARY_DIR}/generated/double_byte_tables.cpp)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_custom_command(OUTPUT ${kiln_double_byte_source}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/double_byte_tables.py ${kiln_double_byte_source}
  DEPENDS ${CMAKE_SOURCE_DIR}/cmake/double_byte_tables.py
  COMMENT "Making the tables of code pages 932 and 936" VERBATIM)

# The package builder: manifest, records, archive, and reading setup files back.
add_library(kiln_builder STATIC
  ${kiln_language_source}
  ${kiln_double_byte_source}
  builder/manifest/languages.cpp
  builder/manifest/default_texts.cpp
  builder/manifest/default_pictures.cpp
  builder/manifest/dialog_templates.cpp
  builder/manifest/dialog_resources.cpp
  builder/manifest/manifest.cpp
  builder/manifest/name_pattern.cpp
  builder/system/file_system.cpp
  builder/assembly/package_builder.cpp
  builder/reading/package_check.cpp
  builder/archive/pe_version.cpp
  builder/assembly/record_bodies.cpp
  builder/reading/setup_reader.cpp
  builder/archive/archive_items.cpp
  builder/archive/archive_plan.cpp
  builder/archive/solid_archive.cpp
  builder/archive/delta_bases.cpp
  builder/archive/delta_encoder.cpp
  builder/archive/parallel.cpp
  builder/archive/similarity.cpp
  builder/reading/setup_files.cpp
  builder/program/uninstaller_program.cpp
  builder/program/stub_packer.cpp
  builder/reading/extract_paths.cpp
  builder/manifest/target_rules.cpp
  builder/manifest/code_page.cpp
  builder/reading/json_writer.cpp
  builder/manifest/manifest_keys.cpp
  builder/reading/setup_identity_view.cpp
  builder/reading/setup_extractor.cpp
  builder/program/pe_resources.cpp
  builder/program/stub_resources.cpp
)
target_link_libraries(kiln_builder PUBLIC kiln_encoder ${kiln_toml_lib} PRIVATE ${kiln_divsufsort_lib})
target_link_libraries(kiln_builder PRIVATE Threads::Threads ${kiln_lzma_lib})
target_compile_options(kiln_builder PRIVATE -Wall -Wextra)

add_executable(kiln
  builder/commands/main.cpp
  builder/commands/build_command.cpp
  builder/commands/codec_commands.cpp
  builder/commands/listing_command.cpp
  builder/commands/verify_command.cpp
  builder/commands/pack_stub_command.cpp
  builder/commands/extract_command.cpp
  builder/commands/sign_command.cpp
  builder/commands/existing_file.cpp
  builder/system/child_process.cpp
)
target_link_libraries(kiln PRIVATE kiln_builder)
target_compile_options(kiln PRIVATE -Wall -Wextra)
