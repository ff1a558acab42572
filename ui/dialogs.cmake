# SPDX-License-Identifier: GPL-3.0-or-later
# The main window's dialogs: the text prompt with its history, the properties of an entry and
# the undo history.
if(RELABO_GUI)
  add_library(relabo_dialogs STATIC
    history.cpp history.h
    properties.cpp properties.h
    selection_form.cpp selection_form.h
    single_line.cpp single_line.h
    undo_history_dialog.cpp undo_history_dialog.h
  )
  target_include_directories(relabo_dialogs PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(relabo_dialogs PUBLIC relabo_engine_core relabo_fileutil Qt6::Widgets
                        Qt6::DBus
                        PRIVATE relabo_engine relabo_options ICU::uc)
  target_compile_features(relabo_dialogs PUBLIC cxx_std_20)
endif()
