# SPDX-License-Identifier: GPL-3.0-or-later
# Moving files to the desktop's trash (GIO), without Qt.
if(NOT TARGET PkgConfig::GIO)
  pkg_check_modules(GIO QUIET IMPORTED_TARGET GLOBAL gio-2.0)
endif()
if(TARGET PkgConfig::GIO)
  add_library(relabo_trash STATIC trash.cpp trash.h trash_result.h)
  target_include_directories(relabo_trash PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(relabo_trash PUBLIC relabo_fileutil PRIVATE relabo_options PkgConfig::GIO)
  target_compile_features(relabo_trash PUBLIC cxx_std_20)
endif()
