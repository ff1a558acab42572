# SPDX-License-Identifier: GPL-3.0-or-later
if(TARGET relabo_trash)
  relabo_add_test_executable(relabo_trash_tests trash_test.cpp)
  target_link_libraries(relabo_trash_tests PRIVATE relabo_trash relabo_engine_core)
endif()
