# SPDX-License-Identifier: GPL-3.0-or-later
# Settings persistence: the user's settings file and what the main window keeps in it.
if(RELABO_GUI)
  add_library(relabo_settings STATIC
    settings.cpp settings.h
  )
  target_link_libraries(relabo_settings PUBLIC relabo_engine_core relabo_fileutil Qt6::Core
                        PRIVATE relabo_options)
endif()
