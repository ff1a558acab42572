# SPDX-License-Identifier: GPL-3.0-or-later
# The directory tree list: its lines without Qt, and the widget linked with the other controls.
relabo_add_test_executable(relabo_directory_core_tests
  directory_lines_test.cpp
)
target_link_libraries(relabo_directory_core_tests PRIVATE relabo_directory_core)

if(RELABO_GUI)
  relabo_add_test_executable(relabo_directory_tests
    directory_list_test.cpp
  )
  target_link_libraries(relabo_directory_tests PRIVATE relabo_directory Qt6::Test Qt6::Widgets)
endif()
