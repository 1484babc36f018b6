# Test programs of the Windows cross-builds (32-bit and 64-bit). They run on
# the build machine under wine (scripts/test-windows prepares a throw-away
# prefix of the matching architecture).

# No packaged GoogleTest exists for the cross compiler: build Debian's source
# copy (package googletest) with it. Nothing is downloaded.
set(TAM_GOOGLETEST_SOURCE /usr/src/googletest/googletest CACHE PATH "GoogleTest sources built for cross builds")
if(NOT EXISTS ${TAM_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${TAM_GOOGLETEST_SOURCE}: install the googletest package")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${TAM_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
endif()

# Test code uses M_PI and friends, which glibc always declares and MinGW
# only on request.
add_compile_definitions(_USE_MATH_DEFINES)

# Every test program starts through this wrapper (quiet wine, no debugger),
# with the wine loader of the build's architecture.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-run --arch=win64)
    else()
        set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-run --arch=win32)
    endif()
endif()

# One CTest test per program rather than per case: every start of a Windows
# program under wine costs a good part of a second.
function(tam_add_emulated_test name labels)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES LABELS "${labels};windows" TIMEOUT 900)
endfunction()
