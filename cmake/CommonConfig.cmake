# One place for warnings and Qt strictness, shared by every target of the project.
option(VNX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(VNX_FUZZ "Build the libFuzzer targets of fuzz/ (clang only)" OFF)

add_library(vnx_options INTERFACE)
target_compile_options(vnx_options INTERFACE -Wall -Wextra -Wnon-virtual-dtor)
target_compile_definitions(vnx_options INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_DISABLE_DEPRECATED_UP_TO=0x060000)
if(VNX_SANITIZE)
  # A finding stops the run: a sanitizer report that lets the test go on and pass is never read.
  target_compile_options(vnx_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(vnx_options INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all)
endif()
if(VNX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VNX_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  # Every layer reports its coverage to the fuzzer, and a sanitizer finding ends the run as a crash
  # the fuzzer keeps the input of.
  target_compile_options(vnx_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(vnx_options INTERFACE -fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

# A layer is a static library made of the units in its folder. A layer without units yet is an
# interface library, so the targets above it can already name it.
function(vnx_layer target)
  cmake_parse_arguments(ARG "" "" "DEPENDS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  # An excluded header leaves too: moc would otherwise build its class into two libraries.
  foreach(excluded ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
    list(REMOVE_ITEM headers ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
  endforeach()
  if(sources)
    add_library(${target} STATIC ${sources} ${headers})
    target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC vnx_options ${ARG_DEPENDS})
    set_target_properties(${target} PROPERTIES AUTOMOC ON)
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE vnx_options ${ARG_DEPENDS})
  endif()
endfunction()

# Units of a layer's folder that make a library of their own, because they need less than the
# layer does (the image lists need Qt Gui, not Qt Widgets); the layer excludes them and links it.
function(vnx_layer_part target)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${target} STATIC ${ARG_SOURCES})
  target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC vnx_options ${ARG_DEPENDS})
  set_target_properties(${target} PROPERTIES AUTOMOC ON)
endfunction()
