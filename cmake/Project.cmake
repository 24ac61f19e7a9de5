# Shared helpers for the per-folder CMakeLists.

# sv_library(<name> SOURCES ... DEPENDS ...): one static library.
# Every library sees the repository root as its include root, so includes read
# "platform/rtl/Classes.h" or "imaging/core/VLBitmap.h".
function(sv_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
endfunction()

# sv_sources(<library> SOURCES ...): adds one folder's sources to a library that spans several
# folders; paths are relative to the calling folder.
function(sv_sources library)
  cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
  list(TRANSFORM ARG_SOURCES PREPEND "${CMAKE_CURRENT_SOURCE_DIR}/")
  target_sources(${library} PRIVATE ${ARG_SOURCES})
endfunction()

# sv_test(<name> SOURCES ... DEPENDS ...): one GoogleTest program per tested folder.
function(sv_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/LeakSuppressions.cpp)
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gtest GTest::gtest_main)
  # The tests' own folder, for the scripts beside them: __FILE__ may be relative to wherever the
  # compiler (or its cache) ran, and tests run in their build folder.
  target_compile_definitions(${name} PRIVATE SV_TESTS_DIR="${PROJECT_SOURCE_DIR}/tests")
  # Shared sample files (PngSuite); the tests that use them skip when the folder is absent.
  target_compile_definitions(${name} PRIVATE SV_TESTDATA_DIR="${SV_TESTDATA_DIR}")
  gtest_discover_tests(${name}
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
    DISCOVERY_TIMEOUT 60)
endfunction()
