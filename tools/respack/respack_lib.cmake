# The resource-pack generator as a library. The test suite builds its
# fixtures with it, so it needs nothing beyond the standard library and is
# built wherever the tests are, whether or not the tools are.
if(NOT TARGET respack_lib)
  file(GLOB RESPACK_LIB_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/src/*.cpp)
  add_library(respack_lib STATIC ${RESPACK_LIB_SOURCES})
  target_include_directories(respack_lib PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include)
  # Fixtures name only the parameters they care about
  # (colourTable3d({.points = 17})); the rest keep their defaults on purpose,
  # which GCC would otherwise report for every designated initializer.
  target_compile_options(respack_lib PUBLIC -Wno-missing-field-initializers)
endif()
