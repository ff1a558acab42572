# SPDX-License-Identifier: GPL-3.0-or-later
# The directory tree list: its lines without Qt, and the list widget.
add_library(relabo_directory_core STATIC
  directory_lines.cpp directory_lines.h
)
target_include_directories(relabo_directory_core PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(relabo_directory_core PUBLIC relabo_fileutil relabo_filelist_core
                      PRIVATE relabo_options)
target_compile_features(relabo_directory_core PUBLIC cxx_std_20)

if(RELABO_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Svg)
  add_library(relabo_directory STATIC
    directory_list_box.cpp directory_list_box.h
    resources/tree_glyphs.qrc
  )
  target_link_libraries(relabo_directory
    PUBLIC relabo_directory_core relabo_navigation relabo_filelist Qt6::Widgets
    PRIVATE relabo_options Qt6::Svg)
endif()
