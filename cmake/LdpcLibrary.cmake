# ldpc_add_library(NAME [SOURCES file...] [PUBLIC item...] [PRIVATE item...]
#                  [HEADERS header...])
#
# One of the project's static libraries, in the folder that calls it: the
# sources (every .cpp of the folder unless SOURCES names them), the archive
# libldpcNAME.a, the folder as the include directory (the installed headers'
# folder once installed), the libraries it links, and the install rules:
# the archive into the ldpcgraphTargets export set (ldpc::NAME) and the
# HEADERS beside graphlib's (installed only when given).
function(ldpc_add_library name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;PUBLIC;PRIVATE;HEADERS")
  if(ARG_SOURCES)
    set(sources ${ARG_SOURCES})
  else()
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  add_library(${name} STATIC ${sources})
  set_target_properties(${name} PROPERTIES OUTPUT_NAME ldpc${name})
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/ldpcgraph>)
  target_link_libraries(${name} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
  install(TARGETS ${name} EXPORT ldpcgraphTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
  if(ARG_HEADERS)
    list(TRANSFORM ARG_HEADERS PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
    install(FILES ${ARG_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ldpcgraph)
  endif()
endfunction()
