set(TW_INSTALLED_LIBS corvane plinth32 kv_exp config tarnwick)
# install() reads relative PUBLIC_HEADER paths against this directory: anchor them at each
# library's own source directory.
foreach(lib IN LISTS TW_INSTALLED_LIBS)
  get_target_property(_tw_headers ${lib} PUBLIC_HEADER)
  if(_tw_headers)
    get_target_property(_tw_source_dir ${lib} SOURCE_DIR)
    set(_tw_absolute "")
    foreach(header IN LISTS _tw_headers)
      cmake_path(ABSOLUTE_PATH header BASE_DIRECTORY ${_tw_source_dir})
      list(APPEND _tw_absolute ${header})
    endforeach()
    set_target_properties(${lib} PROPERTIES PUBLIC_HEADER "${_tw_absolute}")
  endif()
endforeach()
install(TARGETS ${TW_INSTALLED_LIBS}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(WIN32)
  # The MinGW runtime the DLLs import, so that an installation runs where MinGW is absent.
  install(FILES ${TW_MINGW_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
