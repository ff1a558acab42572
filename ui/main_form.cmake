# SPDX-License-Identifier: GPL-3.0-or-later
# The program's main window, its command pages and actions, help and the About box.
find_package(Qt6 REQUIRED COMPONENTS Svg)
add_library(relabo_mainwindow STATIC
  about_box.cpp about_box.h
  actions.cpp actions.h
  command_pages.cpp command_pages.h
  elided_label.cpp elided_label.h
  error_box.cpp error_box.h
  help_window.cpp help_window.h
  journal_view.cpp journal_view.h
  list_batch_entries.h
  main_form.cpp main_form.h
  main_layout.cpp main_layout.h
  preview_controller.cpp preview_controller.h
  spin_edit.cpp spin_edit.h
  resources/main_form.qrc
)
target_include_directories(relabo_mainwindow PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(relabo_mainwindow
  PUBLIC relabo_ui relabo_settings relabo_dialogs relabo_engine relabo_filelist relabo_navigation
         relabo_trash Qt6::Widgets
  PRIVATE relabo_options Qt6::Svg)
target_compile_features(relabo_mainwindow PUBLIC cxx_std_20)
# The installed help file's folder, relative to the installed program's, so that the program
# finds it under whatever prefix it was installed.
file(RELATIVE_PATH relabo_help_from_program ${CMAKE_INSTALL_FULL_BINDIR}
     ${CMAKE_INSTALL_PREFIX}/${RELABO_HELP_DIR})
target_compile_definitions(relabo_mainwindow
  PRIVATE RELABO_HELP_FROM_PROGRAM="${relabo_help_from_program}")
