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

# GCC 12 at -O3 (Release) reports out-of-bounds copies inside
# std::vector::insert on a vector that was just built with a fixed size
# (curves.cpp); the copies are in bounds, a known false positive of that
# compiler's inliner. They stay warnings there rather than stop the build.
if(TARGET respack_lib AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU"
   AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12)
  target_compile_options(respack_lib PRIVATE -Wno-error=array-bounds)
endif()
