# The colour side of the tools: the ink model, colour spaces (Little CMS),
# printing patch targets through the library and building colour tables
# from what they measure. Built only where Little CMS is found, and never in
# the 32-bit or Win32 builds.
if(NOT TARGET colour_lib AND NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND)
    pkg_check_modules(LCMS2 QUIET IMPORTED_TARGET lcms2)
  endif()
  if(LCMS2_FOUND)
    file(GLOB COLOUR_LIB_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/src/*.cpp)
    add_library(colour_lib STATIC ${COLOUR_LIB_SOURCES})
    target_include_directories(colour_lib PUBLIC ${CMAKE_CURRENT_LIST_DIR}/include)
    target_link_libraries(colour_lib PUBLIC inkdot_static respack_lib PkgConfig::LCMS2)
  else()
    message(STATUS "colour: Little CMS (lcms2) not found; the colour tools are not built")
  endif()
endif()

# The colour library's tests: the characterisation on small cases.
if(TARGET colour_lib AND INKDOT_BUILD_TESTS AND NOT TARGET colour_tests)
  find_package(GTest QUIET)
  if(GTest_FOUND)
    file(GLOB COLOUR_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/tests/*_test.cpp)
    add_executable(colour_tests ${COLOUR_TEST_SOURCES})
    target_link_libraries(colour_tests PRIVATE colour_lib GTest::gtest GTest::gtest_main)
    enable_testing()
    add_test(NAME colour_tests COMMAND colour_tests)
  endif()
endif()
