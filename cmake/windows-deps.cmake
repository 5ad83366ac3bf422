# What a cross build for Windows takes from the build machine: Debian ships
# pugixml and GoogleTest as sources to compile (scripts/deps --windows puts
# pugixml's under /usr/local/src/kvrepo-deps), CLI11 and nlohmann-json as
# headers only, and the toolchain's runtime DLLs, which go beside the programs.
set(KVREPO_PUGIXML_SOURCE_DIR /usr/local/src/kvrepo-deps/pugixml CACHE PATH
  "pugixml's unpacked source package (scripts/deps --windows)")
set(KVREPO_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest's sources")
if(NOT EXISTS ${KVREPO_PUGIXML_SOURCE_DIR}/src/pugixml.cpp)
  message(FATAL_ERROR "No pugixml sources in ${KVREPO_PUGIXML_SOURCE_DIR}: run scripts/deps --windows")
endif()
add_library(kvrepo_pugixml STATIC ${KVREPO_PUGIXML_SOURCE_DIR}/src/pugixml.cpp)
target_include_directories(kvrepo_pugixml SYSTEM PUBLIC ${KVREPO_PUGIXML_SOURCE_DIR}/src)
add_library(pugixml::pugixml ALIAS kvrepo_pugixml)

# Header-only libraries from the build machine's include folder, seen through
# a folder of their own so that none of the machine's C library headers is.
set(KVREPO_HOST_HEADERS ${PROJECT_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${KVREPO_HOST_HEADERS})
foreach(folder CLI nlohmann)
  if(NOT EXISTS ${KVREPO_HOST_HEADERS}/${folder})
    file(CREATE_LINK /usr/include/${folder} ${KVREPO_HOST_HEADERS}/${folder} SYMBOLIC)
  endif()
endforeach()
add_library(kvrepo_cli11 INTERFACE)
target_include_directories(kvrepo_cli11 SYSTEM INTERFACE ${KVREPO_HOST_HEADERS})
add_library(CLI11::CLI11 ALIAS kvrepo_cli11)
add_library(nlohmann_json::nlohmann_json ALIAS kvrepo_cli11)
set(CLI11_FOUND TRUE)
set(nlohmann_json_FOUND TRUE)

# The C++ runtime of the toolchain, copied beside the programs and installed.
set(KVREPO_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${found}")
    find_file(found_${dll} ${dll} PATHS /usr/x86_64-w64-mingw32/lib NO_DEFAULT_PATH)
    set(found ${found_${dll}})
  endif()
  if(NOT EXISTS "${found}")
    message(FATAL_ERROR "The toolchain's ${dll} was not found")
  endif()
  list(APPEND KVREPO_RUNTIME_DLLS ${found})
  file(COPY ${found} DESTINATION ${KVREPO_OUTPUT_DIR})
endforeach()

# Programs run under Wine, each test tree in the build folder's own prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine;${PROJECT_BINARY_DIR}/wine-prefix)
