# Shared build settings: warnings as errors for our own code only, sanitizers,
# and the third-party libraries for the native and the mingw builds.

add_library(fp_warnings INTERFACE)
target_compile_options(fp_warnings INTERFACE -Wall -Wextra -Werror)

if(FLINGPOST_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
  # One self-contained .exe: no MinGW runtime DLLs beside it.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
endif()

find_package(Threads REQUIRED)
if(WIN32)
  # The static library, or every .exe would import zlib1.dll.
  set(ZLIB_USE_STATIC_LIBS ON)
endif()
find_package(ZLIB REQUIRED)
if(NOT WIN32)
  # TLS on Linux; Windows has SChannel.
  find_package(OpenSSL REQUIRED)
endif()

# TinyXML: Debian's library natively; for mingw, and for the sanitizer build
# (whose checks must reach the parser's own reads of every document), the Debian
# source package that scripts/setup unpacks (its patches make TIXML_USE_STL part
# of the header). The fuzz targets compile FP_TINYXML_SOURCES themselves.
set(FP_TINYXML_DIR "${FLINGPOST_DEPS_DIR}/tinyxml")
set(FP_TINYXML_SOURCES ${FP_TINYXML_DIR}/tinystr.cpp ${FP_TINYXML_DIR}/tinyxml.cpp
    ${FP_TINYXML_DIR}/tinyxmlerror.cpp ${FP_TINYXML_DIR}/tinyxmlparser.cpp)
if(WIN32 OR FLINGPOST_SANITIZE)
  if(NOT EXISTS "${FP_TINYXML_DIR}/tinyxml.h")
    message(FATAL_ERROR "TinyXML source missing in ${FP_TINYXML_DIR}: run scripts/setup")
  endif()
  add_library(tinyxml STATIC ${FP_TINYXML_SOURCES})
  target_include_directories(tinyxml SYSTEM PUBLIC ${FP_TINYXML_DIR})
  target_compile_definitions(tinyxml PUBLIC TIXML_USE_STL)
  target_compile_options(tinyxml PRIVATE -w)
else()
  find_path(TINYXML_INCLUDE_DIR tinyxml.h REQUIRED)
  find_library(TINYXML_LIBRARY tinyxml REQUIRED)
  add_library(tinyxml INTERFACE)
  target_include_directories(tinyxml SYSTEM INTERFACE ${TINYXML_INCLUDE_DIR})
  target_link_libraries(tinyxml INTERFACE ${TINYXML_LIBRARY})
  target_compile_definitions(tinyxml INTERFACE TIXML_USE_STL)
endif()

# Sources of one folder; the platform folder picks the file of its system.
function(fp_sources out dir)
  file(GLOB _all CONFIGURE_DEPENDS "${dir}/*.cpp")
  set(_keep "")
  foreach(f ${_all})
    if(WIN32 AND f MATCHES "_posix\\.cpp$")
      continue()
    endif()
    if(NOT WIN32 AND f MATCHES "_win32\\.cpp$")
      continue()
    endif()
    list(APPEND _keep ${f})
  endforeach()
  set(${out} ${_keep} PARENT_SCOPE)
endfunction()
